#include "appnet/ApplicationTraffic.h"

namespace flowloom::appnet {

const usage::InterfaceIdentity& loopbackIdentity()
{
    static const usage::InterfaceIdentity loopback{":loopback", ""};
    return loopback;
}

ApplicationTraffic::ApplicationTraffic()
    : m_ownSource(std::make_unique<SockDiagSource>()),
      m_ownOwners(std::make_unique<SystemSocketOwners>())
{
    m_problem = m_ownSource->problem();
    m_collector = std::make_unique<ApplicationCollector>(*m_ownSource, *m_ownOwners);
}

ApplicationTraffic::ApplicationTraffic(TcpSocketSource& source, SocketOwners& owners,
                                       std::string problem,
                                       std::function<PollCadence::Clock::time_point()> clock)
    : m_collector(std::make_unique<ApplicationCollector>(source, owners, clock)),
      m_problem(std::move(problem)), m_clock(std::move(clock))
{}

ApplicationTraffic::~ApplicationTraffic() = default;

void ApplicationTraffic::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    // Sockets are not followed while off: what they did meanwhile is not
    // this tick's, so the next look is a base again.
    m_collector->reset();
    if (!m_collector->followCloses(on) && m_ownSource)
        m_problem = m_ownSource->problem();
    m_cadence.forget();
    m_latest = ApplicationTick{};
}

void ApplicationTraffic::attachHistory(usage::UsageHistory* history,
                                       usage::InterfaceIdentity internet)
{
    m_history = history;
    m_internet = std::move(internet);
}

std::size_t ApplicationTraffic::trackedSockets() const
{
    return m_collector->trackedSockets();
}

void ApplicationTraffic::tick(const InterfaceTraffic& interfaces, const sampling::DateTime& now)
{
    if (!counting())
        return;
    const PollCadence::Clock::time_point clock = m_clock ? m_clock() : PollCadence::Clock::now();
    std::optional<ApplicationTick> polled =
        m_collector->tick(interfaces, m_cadence.due(clock, m_shown));
    if (!polled)
        return;
    m_latest = std::move(*polled);
    ++m_polls;
    if (m_latest.counted)
        record(now);
}

void ApplicationTraffic::record(const sampling::DateTime& now)
{
    if (m_history == nullptr)
        return;
    auto add = [&](const usage::InterfaceIdentity& identity,
                   const std::vector<ApplicationBytes>& applications, const ByteCount& other) {
        for (const ApplicationBytes& a : applications)
            m_history->addApplication(identity, a.application.name,
                                      static_cast<int>(a.application.by), now, a.bytes.in,
                                      a.bytes.out);
        m_history->addApplication(identity, kOtherName, kOtherKind, now, other.in, other.out);
    };
    add(m_internet, m_latest.internet, m_latest.internetOther);
    add(loopbackIdentity(), m_latest.loopback, m_latest.loopbackOther);
}

} // namespace flowloom::appnet
