#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace flowloom::appnet {

// A dump walks the kernel's whole TCP hash table (262,144 buckets on a
// large machine), however few sockets there are; a lookup of a known socket
// is one hash lookup. So the live sockets are read by lookups, and dumped
// only when something may be missing from what is known:
//   - at the first look, and when lookups fail or are not offered;
//   - every kFullDumpInterval, for new listeners and sockets that carried
//     too little to show;
//   - when the interfaces counted more than the known sockets and the
//     closes explain, by more than unexplainedAllowance() (evidence of TCP
//     sockets not yet known). The dump comes at once while dumps find new
//     sockets with bytes. UDP shows up the same way and no dump explains it,
//     so while such traffic persists, dumps that find nothing are spaced:
//     kFirstEvidenceSpacing after the first, twice that after the next, up
//     to kFullDumpInterval. A poll that the known sockets explain ends it.
inline constexpr std::chrono::seconds kFullDumpInterval{30};
inline constexpr std::chrono::seconds kFirstEvidenceSpacing{1};

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
    // After the lookups: whether the interfaces' bytes beyond the explained
    // ones (since the previous poll, over `ticks` ticks) call for a dump now.
    bool dueOnEvidence(Clock::time_point now, std::uint64_t interfaceBytes,
                       std::uint64_t explainedBytes, int ticks) const;
    // A dump was read; whether it found a socket with bytes not known before.
    void dumped(Clock::time_point now, bool foundNewBytes);
    // A poll that the known sockets and closes explained: evidence dumps
    // are no longer spaced.
    void explained() { m_spacing = Clock::duration::zero(); }
    // The next poll dumps (a first look again).
    void forget();

    Clock::duration evidenceSpacing() const { return m_spacing; }

private:
    std::optional<Clock::time_point> m_lastDump;
    Clock::duration m_spacing = Clock::duration::zero();
};

} // namespace flowloom::appnet
