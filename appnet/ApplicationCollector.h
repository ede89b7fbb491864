#pragma once

#include "appnet/Application.h"
#include "appnet/DumpSchedule.h"
#include "appnet/SockDiag.h"
#include "appnet/SockDiagSource.h"
#include "appnet/SocketOwners.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace flowloom::appnet {

// Per-application traffic, one tick at a time. Every tick it reads the TCP
// sockets that closed since the previous tick (their final counts), and at
// each poll the live ones; it takes each socket's bytes received and sent
// since it was last seen, and adds them to the socket's application (found
// once, at its first sight). A socket seen first in its close was opened and
// closed between two polls: its owner can no longer be asked, so it goes to
// the program that listens on its port, or else stays unattributed (in "Other").
//
// How a poll reads the live sockets (DumpSchedule holds the rule):
//   - a dump of every socket at the first look, every 30 s after a poll that
//     the sockets did not explain and every 5 min while all were explained
//     (kFullDumpInterval, kQuietDumpInterval: new listeners and owners,
//     sockets that carried too little to show) and when lookups fail or are
//     not offered;
//   - otherwise exact lookups of the active known sockets (grown within
//     10 s, or awaiting their close); the idle ones cost nothing;
//   - when the interfaces then count more than those sockets and the closes
//     of known sockets explain, beyond an allowance for headers (an eighth
//     of the explained bytes and 4 KiB per tick), the idle known sockets are
//     looked up, and if that does not explain the bytes a dump follows, in
//     the same poll, so that a new socket's bytes are credited with the
//     interface bytes they made. UDP looks the same and nothing explains
//     it: while that persists, looking further is spaced 1, 2, 4 ... 30 s.
// Counters are cumulative, so a socket first seen at a later dump still
// gives all its bytes then; the first look's sockets only give their growth
// from it.
class ApplicationCollector
{
public:
    using Clock = DumpSchedule::Clock;
    // `clock` times the dumps (none: the steady clock).
    ApplicationCollector(TcpSocketSource& source, SocketOwners& owners,
                         std::function<Clock::time_point()> clock = {});

    // How the latest poll read the live sockets.
    enum class Read {
        None,
        Dump,            // a dump alone
        Lookups,         // lookups of the active sockets
        LookupsOfAll,    // of the idle ones too, which explained the bytes
        LookupsThenDump, // and a dump after them
    };

    // Every tick reads the closes; `poll` says whether the live sockets are
    // read too. Only a poll ends an interval: the figures returned then span
    // every tick since the previous poll (`ticks`), the closes read between
    // them included, and "Other" is that interval's interface bytes minus
    // what was attributed in it. Between polls nothing is returned (nullopt).
    std::optional<ApplicationTick> tick(const InterfaceTraffic& interfaces, bool poll);
    // A tick with a poll (every tick polled).
    ApplicationTick tick(const InterfaceTraffic& interfaces) { return *tick(interfaces, true); }
    // Forgets every socket: the next tick is a first look again (after a pause).
    void reset();
    // Whether the source announces closes (see TcpSocketSource::followCloses).
    bool followCloses(bool on) { return m_source.followCloses(on); }

    std::size_t trackedSockets() const { return m_sockets.size(); }
    Read lastRead() const { return m_lastRead; }
    // How many sockets the latest poll looked up.
    std::size_t lastLookups() const { return m_lastLookups; }

private:
    struct Tracked
    {
        TcpSocketReading last;
        Application owner;
        bool loopback = false;
        int missing = 0;          // polls since it was last read
        Clock::time_point grew{}; // when its counts last grew (or it was first seen)
    };
    using Totals = std::map<Application, ByteCount>;

    void addClosed(const TcpSocketReading& closed, Totals& internet, Totals& loopback,
                   ApplicationTick& out);
    // Adds the growth of a socket already known; false when it is not one.
    bool addKnown(const TcpSocketReading& socket, Totals& internet, Totals& loopback);
    // Returns whether a socket not known before brought bytes.
    bool addLive(const std::vector<TcpSocketReading>& live, Totals& internet, Totals& loopback);
    void readLive();
    bool dump(bool& newBytes);
    bool lookUpKnown(bool idle);
    void settleGone();
    std::uint64_t interfaceBytes() const;
    std::uint64_t explainedBytes() const;
    void knowListeners();
    const Application* listenerOn(const TcpSocketReading& socket) const;

    TcpSocketSource& m_source;
    SocketOwners& m_owners;
    std::function<Clock::time_point()> m_clock;
    DumpSchedule m_schedule;
    Read m_lastRead = Read::None;
    std::size_t m_lastLookups = 0;
    Clock::time_point m_now{};                            // the poll's time
    std::unordered_map<std::uint64_t, Tracked> m_sockets; // by cookie
    std::unordered_set<std::uint64_t> m_closedBefore;     // closed before the previous dump
    std::unordered_set<std::uint64_t> m_closedNow;        // closed since the previous dump
    bool m_started = false;
    std::unordered_map<std::uint16_t, Application> m_listeners; // by port, at the latest dump
    std::vector<TcpSocketReading> m_closedBuffer;
    std::vector<TcpSocketReading> m_liveBuffer;
    std::vector<TcpSocketReading> m_knownBuffer;
    std::vector<std::uint64_t> m_goneBuffer;
    // What the ticks since the previous poll counted, given out at the next.
    Totals m_pendingInternet;
    Totals m_pendingLoopback;
    InterfaceTraffic m_pendingInterfaces;
    std::size_t m_pendingClosed = 0;
    int m_pendingTicks = 0;
};

} // namespace flowloom::appnet
