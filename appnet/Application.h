#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::appnet {

// How a socket's application was found.
enum class IdentifiedBy : std::uint8_t {
    Process = 0, // one of the user's own processes, by its executable
    Cgroup = 1,  // the socket's cgroup: a desktop application or a service
    User = 2,    // only the socket's user is known
};

std::string_view identifiedByText(IdentifiedBy by); // "process", "cgroup", "user"

// An application as the figures name it.
struct Application
{
    IdentifiedBy by = IdentifiedBy::User;
    std::string name;

    auto operator<=>(const Application&) const = default;
};

// The longest name kept (in bytes, cut at a character boundary): names come
// from outside (executables, unit names) and go into the history file.
constexpr std::size_t kMaxApplicationName = 64;
std::string boundedName(std::string_view name);

struct ByteCount
{
    std::uint64_t in = 0;
    std::uint64_t out = 0;

    bool zero() const { return in == 0 && out == 0; }
};

struct ApplicationBytes
{
    Application application;
    ByteCount bytes;
};

// One poll's traffic by application (since the previous poll), the internet-facing interfaces and
// loopback apart. "Other" is what the interfaces counted beyond the
// attributed TCP bytes: UDP, closed connections of unknown owners, headers.
struct ApplicationTick
{
    std::vector<ApplicationBytes> internet; // by application, in name order
    std::vector<ApplicationBytes> loopback;
    ByteCount internetOther;
    ByteCount loopbackOther;
    std::size_t socketsClosed = 0; // counted through their close this tick
    bool counted = false;          // false on the first look (the base) and when off
    // The ticks these figures span: one while polled every tick, more after
    // ticks without a poll (their closes and interface bytes come with it).
    int ticks = 1;

    ByteCount attributedInternet() const;
};

// The interfaces' bytes of one tick, as the accounting core counted them.
struct InterfaceTraffic
{
    ByteCount internet; // the physical interfaces
    ByteCount loopback;
};

} // namespace flowloom::appnet
