#include "appnet/ApplicationCollector.h"

namespace flowloom::appnet {

namespace {

// Counters only grow while a socket lives; a smaller reading adds nothing.
std::uint64_t grown(std::uint64_t now, std::uint64_t before)
{
    return now >= before ? now - before : 0;
}

void add(std::map<Application, ByteCount>& totals, const Application& owner, std::uint64_t in,
         std::uint64_t out)
{
    if (in == 0 && out == 0)
        return;
    ByteCount& sum = totals[owner];
    sum.in += in;
    sum.out += out;
}

std::vector<ApplicationBytes> listOf(const std::map<Application, ByteCount>& totals)
{
    std::vector<ApplicationBytes> list;
    list.reserve(totals.size());
    for (const auto& [application, bytes] : totals)
        list.push_back({application, bytes});
    return list;
}

ByteCount otherThan(const ByteCount& interfaces, const std::vector<ApplicationBytes>& attributed)
{
    ByteCount sum;
    for (const ApplicationBytes& a : attributed) {
        sum.in += a.bytes.in;
        sum.out += a.bytes.out;
    }
    return {interfaces.in > sum.in ? interfaces.in - sum.in : 0,
            interfaces.out > sum.out ? interfaces.out - sum.out : 0};
}

} // namespace

ApplicationCollector::ApplicationCollector(TcpSocketSource& source, SocketOwners& owners)
    : m_source(source), m_owners(owners)
{}

void ApplicationCollector::reset()
{
    m_sockets.clear();
    m_closedBefore.clear();
    m_closedNow.clear();
    m_started = false;
    m_pendingInternet.clear();
    m_pendingLoopback.clear();
    m_pendingInterfaces = {};
    m_pendingClosed = 0;
    m_pendingTicks = 0;
}

void ApplicationCollector::knowListeners()
{
    m_listeners.clear();
    for (const auto& [cookie, tracked] : m_sockets)
        if (tracked.last.state == tcp_state::Listen)
            m_listeners.emplace(tracked.last.localPort, tracked.owner);
}

const Application* ApplicationCollector::listenerOn(const TcpSocketReading& socket) const
{
    const auto found = m_listeners.find(socket.localPort);
    return found == m_listeners.end() ? nullptr : &found->second;
}

void ApplicationCollector::addClosed(const TcpSocketReading& closed, Totals& internet,
                                     Totals& loopback, ApplicationTick& out)
{
    m_closedNow.insert(closed.cookie);
    const auto found = m_sockets.find(closed.cookie);
    if (found != m_sockets.end()) {
        const Tracked& tracked = found->second;
        if (closed.hasInfo)
            add(tracked.loopback ? loopback : internet, tracked.owner,
                grown(closed.bytesReceived, tracked.last.bytesReceived),
                grown(closed.bytesSent, tracked.last.bytesSent));
        m_sockets.erase(found);
        ++out.socketsClosed;
        return;
    }
    // Opened and closed since the previous tick.
    if (!closed.hasInfo || (closed.bytesReceived == 0 && closed.bytesSent == 0))
        return;
    ++out.socketsClosed;
    if (const Application* listener = listenerOn(closed))
        add(isLoopbackSocket(closed) ? loopback : internet, *listener, closed.bytesReceived,
            closed.bytesSent);
}

void ApplicationCollector::addLive(const std::vector<TcpSocketReading>& live, Totals& internet,
                                   Totals& loopback)
{
    for (auto& [cookie, tracked] : m_sockets)
        ++tracked.missing;
    for (const TcpSocketReading& socket : live) {
        if (!socket.hasInfo || m_closedNow.contains(socket.cookie) ||
            m_closedBefore.contains(socket.cookie))
            continue;
        const auto found = m_sockets.find(socket.cookie);
        if (found != m_sockets.end()) {
            Tracked& tracked = found->second;
            add(tracked.loopback ? loopback : internet, tracked.owner,
                grown(socket.bytesReceived, tracked.last.bytesReceived),
                grown(socket.bytesSent, tracked.last.bytesSent));
            tracked.last = socket;
            tracked.missing = 0;
            continue;
        }
        Tracked tracked{socket, m_owners.ownerOf(socket), isLoopbackSocket(socket), 0};
        // New since the previous tick: everything it counted is new. On the
        // first look it is the base.
        if (m_started)
            add(tracked.loopback ? loopback : internet, tracked.owner, socket.bytesReceived,
                socket.bytesSent);
        m_sockets.emplace(socket.cookie, std::move(tracked));
    }
    // A socket missing twice closed without a message reaching us (the
    // kernel drops them under a burst); what it did since its last reading is lost.
    std::erase_if(m_sockets, [](const auto& entry) { return entry.second.missing > 1; });
}

std::optional<ApplicationTick> ApplicationCollector::tick(const InterfaceTraffic& interfaces,
                                                          bool poll)
{
    ApplicationTick out;
    m_closedBuffer.clear();
    m_liveBuffer.clear();
    m_source.drainClosed(m_closedBuffer);
    bool polled = false;
    if (poll) {
        m_owners.newTick();
        polled = m_source.poll(m_liveBuffer);
    }

    const bool started = m_started;
    if (m_started)
        for (const TcpSocketReading& closed : m_closedBuffer)
            addClosed(closed, m_pendingInternet, m_pendingLoopback, out);
    m_pendingClosed += out.socketsClosed;
    if (polled) {
        addLive(m_liveBuffer, m_pendingInternet, m_pendingLoopback);
        m_started = true;
        // The closes since the previous dump are left out of the next one
        // too; between dumps they gather, each once.
        m_closedBefore.swap(m_closedNow);
        m_closedNow.clear();
        // The listeners as this dump found them, for the closes until the
        // next one (one that closes with its last connection still names it).
        knowListeners();
    }

    m_pendingInterfaces.internet.in += interfaces.internet.in;
    m_pendingInterfaces.internet.out += interfaces.internet.out;
    m_pendingInterfaces.loopback.in += interfaces.loopback.in;
    m_pendingInterfaces.loopback.out += interfaces.loopback.out;
    ++m_pendingTicks;
    if (!poll)
        return std::nullopt;

    // A failed dump ends the interval as well: the live sockets' bytes then
    // come with the next poll that succeeds.
    out.counted = started;
    out.socketsClosed = m_pendingClosed;
    out.ticks = m_pendingTicks;
    out.internet = listOf(m_pendingInternet);
    out.loopback = listOf(m_pendingLoopback);
    out.internetOther = otherThan(m_pendingInterfaces.internet, out.internet);
    out.loopbackOther = otherThan(m_pendingInterfaces.loopback, out.loopback);
    m_pendingInternet.clear();
    m_pendingLoopback.clear();
    m_pendingInterfaces = {};
    m_pendingClosed = 0;
    m_pendingTicks = 0;
    return out;
}

} // namespace flowloom::appnet
