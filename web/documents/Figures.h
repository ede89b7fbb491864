#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flowloom::web {

// The figures of one tick as numbers, for other programs: /metrics and the
// JSON API. The window builds one per tick from the accounting core; the
// connection threads only read a published one. Moments are seconds since
// 1970 UTC.
struct InterfaceFigures
{
    std::string name;
    std::string address;             // hardware address "AA-BB-CC-DD-EE-FF"; empty when none
    bool present = true;             // false once it is gone from the system
    std::uint64_t receivedBytes = 0; // since the program's start
    std::uint64_t sentBytes = 0;
};

// One direction of the selected interface.
struct DirectionFigures
{
    std::uint64_t currentRate = 0; // bytes per second over the last tick
    std::uint64_t peakRate = 0;
    std::uint64_t averageRate = 0;
    std::uint64_t sessionBytes = 0;    // "Total this session"
    std::uint64_t cumulativeBytes = 0; // the cumulative total
    std::int64_t cumulativeSince = 0;  // when that total was last reset
};

struct PeriodFigures
{
    std::string interface; // what it is measured on: an interface's name, or kPhysicalSum
    std::int64_t start = 0;
    std::int64_t end = 0; // excluded
    std::uint64_t receivedBytes = 0;
    std::uint64_t sentBytes = 0;
    std::uint64_t projectedReceivedBytes = 0;
    std::uint64_t projectedSentBytes = 0;
};

struct CapFigures
{
    std::uint64_t capBytes = 0;
    std::string counts;          // "download", "upload" or "both"
    std::uint64_t usedBytes = 0; // what the cap counts of the period
    std::uint64_t projectedBytes = 0;
    int warningPercent = 80; // the early warning's share of the cap

    // The share of the cap used, 1 at the cap (0 for a cap of nothing).
    double usedRatio() const
    {
        return capBytes == 0 ? 0.0 : static_cast<double>(usedBytes) / static_cast<double>(capBytes);
    }
};

// One application's bytes as the history holds them: today's and those of
// the billing period (its first day whole).
struct ApplicationFigures
{
    std::string name;
    std::string identifiedBy; // "process", "cgroup" or "user"; empty for the Other row
    std::uint64_t todayReceivedBytes = 0;
    std::uint64_t todaySentBytes = 0;
    std::uint64_t periodReceivedBytes = 0;
    std::uint64_t periodSentBytes = 0;

    bool other() const { return identifiedBy.empty(); }
    bool operator==(const ApplicationFigures&) const = default;
};

// The applications of one scope: the internet-facing interfaces' sum or
// loopback, never mixed.
struct ApplicationScopeFigures
{
    std::string interface; // Figures::kPhysicalSum or Figures::kLoopbackSum
    // By the period's bytes (download and upload), most first, then by name;
    // the Other row ("Other (UDP and unattributed)") last, always there.
    std::vector<ApplicationFigures> applications;
};

struct ApplicationsFigures
{
    std::string state;          // "counting", "off" (switched off) or "unavailable"
    std::string today;          // the local day "yyyy-mm-dd"
    std::string periodFirstDay; // the billing period's first local day
    ApplicationScopeFigures internet;
    ApplicationScopeFigures loopback;
};

struct Figures
{
    // The name the period and cap carry when they measure the sum of the
    // physical interfaces.
    static constexpr const char* kPhysicalSum = ":physical";
    // The name the applications' loopback figures carry: the sum of the
    // loopback interfaces.
    static constexpr const char* kLoopbackSum = ":loopback";

    std::string version;                      // the program's version number
    std::int64_t time = 0;                    // the tick's moment
    std::vector<InterfaceFigures> interfaces; // by position, as the program counts them
    // The selected interface and its figures; none before one is selected.
    std::optional<std::size_t> selected;
    DirectionFigures received;
    DirectionFigures sent;
    // None while the usage history is not kept.
    std::optional<PeriodFigures> period;
    // None while the data cap is off.
    std::optional<CapFigures> cap;
    // Traffic per application; none while no program reads it (the JSON API
    // and /metrics off) or the usage history is not kept.
    std::optional<ApplicationsFigures> applications;
};

} // namespace flowloom::web
