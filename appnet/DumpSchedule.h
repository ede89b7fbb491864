#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace flowloom::appnet {

// A dump walks the kernel's whole TCP hash table (262,144 buckets on a
// large machine), however few sockets there are; a lookup of a known socket
// is one hash lookup, and a known socket that has been idle need not be
// looked up at all while the interfaces' bytes are explained. So a poll
// looks up the active known sockets (those that grew in the last
// kActiveFor, and those awaiting their close), and goes further only when
// something may be missing:
//   - a dump at the first look, when lookups fail or are not offered, and
//     every kFullDumpInterval (new listeners, sockets that carried too little
//     to show) once a poll since the last dump went unexplained; while every
//     poll was explained, every kQuietDumpInterval (an idle machine is the
//     common case, and each dump costs about as much as a second of the
//     whole program);
//   - when the interfaces counted more than the sockets read and the closes
//     of known sockets explain, by more than unexplainedAllowance() (a close
//     of a socket never seen explains nothing: its counts span its whole
//     life, perhaps begun before the first look): the idle known sockets
//     are looked up too, and if the bytes are still unexplained (evidence of
//     TCP sockets not yet known) a dump follows in the same poll. This
//     comes at once while it finds bytes. UDP shows up the same way and
//     nothing explains it, so while such traffic persists, steps that find
//     nothing are spaced: kFirstEvidenceSpacing after the first, twice that
//     after the next, up to kFullDumpInterval. A poll that is explained ends it.
inline constexpr std::chrono::seconds kFullDumpInterval{30};
inline constexpr std::chrono::seconds kQuietDumpInterval{300};
inline constexpr std::chrono::seconds kFirstEvidenceSpacing{1};
inline constexpr std::chrono::seconds kActiveFor{10};

// The bytes (in and out together) the interfaces may count beyond the
// explained TCP payload before that is taken for unknown sockets: the
// headers, an eighth of the payload (a full Ethernet segment's headers are
// 5 %, the acknowledgements the other way about 2.5 % more), and 4 KiB per
// tick for acknowledgements of idle sockets, name lookups, time and address
// resolution.
std::uint64_t unexplainedAllowance(std::uint64_t explainedBytes, int ticks);
// Whether the interfaces' bytes exceed the explained ones by more than that.
bool beyondAllowance(std::uint64_t interfaceBytes, std::uint64_t explainedBytes, int ticks);

class DumpSchedule
{
public:
    using Clock = std::chrono::steady_clock;

    // Whether this poll dumps without trying lookups first.
    bool dueBeforeLookups(Clock::time_point now) const;
    // After the lookups of the active sockets: whether the interfaces' bytes
    // beyond the explained ones (since the previous poll, over `ticks` ticks)
    // call for looking further now (the idle sockets, then a dump).
    bool dueOnEvidence(Clock::time_point now, std::uint64_t interfaceBytes,
                       std::uint64_t explainedBytes, int ticks) const;
    // A dump was read (it restarts the period, quiet again).
    void dumped(Clock::time_point now)
    {
        m_lastDump = now;
        m_unexplainedSinceDump = false;
    }
    // The poll looked further on evidence; whether that found bytes.
    void lookedFurther(Clock::time_point now, bool foundBytes);
    // A poll that the sockets read and the closes explained: looking
    // further is no longer spaced.
    void explained() { m_spacing = Clock::duration::zero(); }
    // A poll that they did not explain: the next dump comes after the
    // shorter period.
    void unexplained() { m_unexplainedSinceDump = true; }
    // The next poll dumps (a first look again).
    void forget();

    Clock::duration evidenceSpacing() const { return m_spacing; }

private:
    std::optional<Clock::time_point> m_lastDump;
    std::optional<Clock::time_point> m_lastFurther;
    Clock::duration m_spacing = Clock::duration::zero();
    bool m_unexplainedSinceDump = false;
};

} // namespace flowloom::appnet
