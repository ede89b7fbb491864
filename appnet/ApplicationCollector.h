#pragma once

#include "appnet/Application.h"
#include "appnet/SockDiag.h"
#include "appnet/SockDiagSource.h"
#include "appnet/SocketOwners.h"

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace flowloom::appnet {

// Per-application traffic, one tick at a time. Every tick it reads the TCP
// sockets that closed since the previous tick (their final counts), and at
// each poll every live one; it takes each socket's bytes received and sent
// since it was last seen, and adds them to the socket's application (found once, at its first
// sight). A socket seen first in its close was opened and closed between two
// polls: its owner can no longer be asked, so it goes to the program that
// listens on its port, or else stays unattributed (in "Other").
class ApplicationCollector
{
public:
    ApplicationCollector(TcpSocketSource& source, SocketOwners& owners);

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

    std::size_t trackedSockets() const { return m_sockets.size(); }

private:
    struct Tracked
    {
        TcpSocketReading last;
        Application owner;
        bool loopback = false;
        int missing = 0; // ticks since it was last in a dump
    };
    using Totals = std::map<Application, ByteCount>;

    void addClosed(const TcpSocketReading& closed, Totals& internet, Totals& loopback,
                   ApplicationTick& out);
    void addLive(const std::vector<TcpSocketReading>& live, Totals& internet, Totals& loopback);
    void knowListeners();
    const Application* listenerOn(const TcpSocketReading& socket) const;

    TcpSocketSource& m_source;
    SocketOwners& m_owners;
    std::unordered_map<std::uint64_t, Tracked> m_sockets; // by cookie
    std::unordered_set<std::uint64_t> m_closedBefore;     // closed before the previous dump
    std::unordered_set<std::uint64_t> m_closedNow;        // closed since the previous dump
    bool m_started = false;
    std::unordered_map<std::uint16_t, Application> m_listeners; // by port, at the latest dump
    std::vector<TcpSocketReading> m_closedBuffer;
    std::vector<TcpSocketReading> m_liveBuffer;
    // What the ticks since the previous poll counted, given out at the next.
    Totals m_pendingInternet;
    Totals m_pendingLoopback;
    InterfaceTraffic m_pendingInterfaces;
    std::size_t m_pendingClosed = 0;
    int m_pendingTicks = 0;
};

} // namespace flowloom::appnet
