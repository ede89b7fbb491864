#pragma once

#include "appnet/ApplicationCollector.h"
#include "appnet/PollCadence.h"
#include "appnet/SockDiagSource.h"
#include "appnet/SocketOwners.h"
#include "sampling/DateTime.h"
#include "usage/InterfaceIdentity.h"
#include "usage/UsageHistory.h"

#include <functional>
#include <memory>
#include <string>

namespace flowloom::appnet {

// The name of the row that holds what no application is credited with.
inline constexpr const char* kOtherName = "Other (UDP and unattributed)";
// How the history marks that row (beside the IdentifiedBy values).
inline constexpr int kOtherKind = 3;
// The identity under which loopback's applications are kept in the history,
// apart from the internet-facing interfaces' (no interface can be named so).
const usage::InterfaceIdentity& loopbackIdentity();

// Traffic per application as the program runs it: switched on and off by the
// setting, off by itself where the kernel does not offer socket
// diagnostics, and feeding the usage history with each tick's bytes per
// application (only applications with traffic make rows).
class ApplicationTraffic
{
public:
    // The system's sockets, processes and cgroups.
    ApplicationTraffic();
    // Given ones (tests); `problem` non-empty: the kernel offers nothing.
    // `clock` times the polls (none: the steady clock).
    ApplicationTraffic(TcpSocketSource& source, SocketOwners& owners, std::string problem = {},
                       std::function<PollCadence::Clock::time_point()> clock = {});
    ~ApplicationTraffic();
    ApplicationTraffic(const ApplicationTraffic&) = delete;
    ApplicationTraffic& operator=(const ApplicationTraffic&) = delete;

    // The setting. Switched on again, the next tick is a first look.
    void setOn(bool on);
    bool on() const { return m_on; }
    // False where the kernel offers no socket diagnostics; why, for the user.
    bool available() const { return m_problem.empty(); }
    const std::string& problem() const { return m_problem; }
    // Whether it counts now: on and available.
    bool counting() const { return m_on && available(); }

    // The history that every tick's applications go to, and the identity the
    // internet-facing interfaces' sum is kept under; none keeps no history.
    void attachHistory(usage::UsageHistory* history, usage::InterfaceIdentity internet);

    // Whether someone looks at the figures per application now: the live
    // sockets are then read every tick, otherwise once per
    // kHiddenPollInterval (the closes every tick). Until told, it is shown.
    void setShown(bool shown) { m_shown = shown; }
    bool shown() const { return m_shown; }

    // A tick with a poll records the bytes of every tick since the previous
    // poll in the history, under the poll's day (an interval that spans
    // midnight goes whole to the new day).
    void tick(const InterfaceTraffic& interfaces, const sampling::DateTime& now);
    // The latest poll's figures (not counted while off); `ticks` says how
    // many ticks they span.
    const ApplicationTick& latest() const { return m_latest; }
    // How many polls have been counted: the history's figures per
    // application change only with one.
    std::uint64_t polls() const { return m_polls; }
    std::size_t trackedSockets() const;

private:
    void record(const sampling::DateTime& now);

    std::unique_ptr<SockDiagSource> m_ownSource;
    std::unique_ptr<SystemSocketOwners> m_ownOwners;
    std::unique_ptr<ApplicationCollector> m_collector;
    std::string m_problem;
    bool m_on = true;
    bool m_shown = true;
    PollCadence m_cadence;
    std::function<PollCadence::Clock::time_point()> m_clock;
    usage::UsageHistory* m_history = nullptr;
    usage::InterfaceIdentity m_internet;
    ApplicationTick m_latest;
    std::uint64_t m_polls = 0;
};

} // namespace flowloom::appnet
