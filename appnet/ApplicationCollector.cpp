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

ApplicationCollector::ApplicationCollector(TcpSocketSource& source, SocketOwners& owners,
                                           std::function<Clock::time_point()> clock)
    : m_source(source), m_owners(owners), m_clock(std::move(clock))
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
    m_schedule.forget();
    m_lastRead = Read::None;
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

bool ApplicationCollector::addKnown(const TcpSocketReading& socket, Totals& internet,
                                    Totals& loopback)
{
    // A socket whose close was read is counted to its end already.
    if (m_closedNow.contains(socket.cookie) || m_closedBefore.contains(socket.cookie))
        return true;
    const auto found = m_sockets.find(socket.cookie);
    if (found == m_sockets.end())
        return false;
    Tracked& tracked = found->second;
    const std::uint64_t in = grown(socket.bytesReceived, tracked.last.bytesReceived);
    const std::uint64_t out = grown(socket.bytesSent, tracked.last.bytesSent);
    add(tracked.loopback ? loopback : internet, tracked.owner, in, out);
    if (in != 0 || out != 0)
        tracked.grew = m_now;
    tracked.last = socket;
    tracked.missing = 0;
    return true;
}

bool ApplicationCollector::addLive(const std::vector<TcpSocketReading>& live, Totals& internet,
                                   Totals& loopback)
{
    bool newBytes = false;
    for (auto& [cookie, tracked] : m_sockets)
        ++tracked.missing;
    for (const TcpSocketReading& socket : live) {
        if (!socket.hasInfo || addKnown(socket, internet, loopback))
            continue;
        Tracked tracked{socket, m_owners.ownerOf(socket), isLoopbackSocket(socket), 0, m_now};
        // New since the previous dump: everything it counted is new. On the
        // first look it is the base.
        if (m_started) {
            add(tracked.loopback ? loopback : internet, tracked.owner, socket.bytesReceived,
                socket.bytesSent);
            newBytes = newBytes || socket.bytesReceived != 0 || socket.bytesSent != 0;
        }
        m_sockets.emplace(socket.cookie, std::move(tracked));
    }
    // A socket missing twice closed without a message reaching us (the
    // kernel drops them under a burst); what it did since its last reading is lost.
    std::erase_if(m_sockets, [](const auto& entry) { return entry.second.missing > 1; });
    return newBytes;
}

bool ApplicationCollector::dump(bool& newBytes)
{
    m_liveBuffer.clear();
    if (!m_source.poll(m_liveBuffer))
        return false;
    newBytes = addLive(m_liveBuffer, m_pendingInternet, m_pendingLoopback) || newBytes;
    m_started = true;
    // The closes since the previous dump are left out of the next one
    // too; between dumps they gather, each once.
    m_closedBefore.swap(m_closedNow);
    m_closedNow.clear();
    // The listeners as this dump found them, for the closes until the
    // next one (one that closes with its last connection still names it).
    knowListeners();
    m_schedule.dumped(m_now);
    return true;
}

bool ApplicationCollector::lookUpKnown(bool idle)
{
    m_knownBuffer.clear();
    m_liveBuffer.clear();
    // Listeners carry no bytes; the next dump tells whether they still listen.
    for (const auto& [cookie, tracked] : m_sockets) {
        const bool active = tracked.missing > 0 || m_now - tracked.grew < kActiveFor;
        if (tracked.last.state != tcp_state::Listen && active != idle)
            m_knownBuffer.push_back(tracked.last);
    }
    // Asked even with none: a source that offers no lookups says so.
    if (!m_source.lookup(m_knownBuffer, m_liveBuffer, m_goneBuffer))
        return false;
    m_lastLookups += m_knownBuffer.size();
    for (const TcpSocketReading& socket : m_liveBuffer)
        addKnown(socket, m_pendingInternet, m_pendingLoopback);
    return true;
}

void ApplicationCollector::settleGone()
{
    // As a dump that no longer lists them: a tick more for their close.
    for (const std::uint64_t cookie : m_goneBuffer) {
        const auto found = m_sockets.find(cookie);
        if (found != m_sockets.end() && ++found->second.missing > 1)
            m_sockets.erase(found);
    }
    m_goneBuffer.clear();
}

std::uint64_t ApplicationCollector::interfaceBytes() const
{
    const InterfaceTraffic& i = m_pendingInterfaces;
    return i.internet.in + i.internet.out + i.loopback.in + i.loopback.out;
}

std::uint64_t ApplicationCollector::explainedBytes() const
{
    // A close of a socket never seen explains nothing: its counts span its
    // whole life, which may have begun before the first look, and it shows
    // that sockets go unseen.
    std::uint64_t sum = 0;
    for (const Totals* totals : {&m_pendingInternet, &m_pendingLoopback})
        for (const auto& [application, bytes] : *totals)
            sum += bytes.in + bytes.out;
    return sum;
}

void ApplicationCollector::readLive()
{
    m_now = m_clock ? m_clock() : Clock::now();
    m_lastRead = Read::None;
    m_lastLookups = 0;
    m_goneBuffer.clear();
    bool newBytes = false;
    if (m_started && !m_schedule.dueBeforeLookups(m_now) && lookUpKnown(false)) {
        m_lastRead = Read::Lookups;
        if (m_schedule.dueOnEvidence(m_now, interfaceBytes(), explainedBytes(), m_pendingTicks)) {
            // Unknown or idle sockets may have carried bytes: find them
            // while they live, so that their bytes are credited with the
            // interface bytes they made.
            const std::uint64_t before = explainedBytes();
            const bool looked = lookUpKnown(true);
            bool found = looked && explainedBytes() > before;
            if (looked && !beyondAllowance(interfaceBytes(), explainedBytes(), m_pendingTicks)) {
                m_lastRead = Read::LookupsOfAll;
            } else {
                m_goneBuffer.clear(); // the dump settles the sockets it no longer lists
                if (dump(found))
                    m_lastRead = Read::LookupsThenDump;
            }
            m_schedule.lookedFurther(m_now, found);
        }
        settleGone();
    } else if (dump(newBytes)) {
        m_lastRead = Read::Dump;
    }
    if (!beyondAllowance(interfaceBytes(), explainedBytes(), m_pendingTicks))
        m_schedule.explained();
    else
        m_schedule.unexplained();
}

std::optional<ApplicationTick> ApplicationCollector::tick(const InterfaceTraffic& interfaces,
                                                          bool poll)
{
    ApplicationTick out;
    m_closedBuffer.clear();
    m_source.drainClosed(m_closedBuffer);

    const bool started = m_started;
    if (m_started)
        for (const TcpSocketReading& closed : m_closedBuffer)
            addClosed(closed, m_pendingInternet, m_pendingLoopback, out);
    m_pendingClosed += out.socketsClosed;
    m_pendingInterfaces.internet.in += interfaces.internet.in;
    m_pendingInterfaces.internet.out += interfaces.internet.out;
    m_pendingInterfaces.loopback.in += interfaces.loopback.in;
    m_pendingInterfaces.loopback.out += interfaces.loopback.out;
    ++m_pendingTicks;
    if (!poll)
        return std::nullopt;

    m_owners.newTick();
    readLive();
    // A failed read ends the interval as well: the live sockets' bytes then
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
