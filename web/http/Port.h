#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flowloom::web {

// HTTP's own port: the server's port until the user chooses another, and the
// port of any setting or typed text that names none.
inline constexpr int kDefaultPort = 80;
inline constexpr int kMaxPort = 65535;

// Whether a number names a port (0 asks for any free one).
constexpr bool isPort(std::int64_t value)
{
    return value >= 0 && value <= kMaxPort;
}

// The port to bind for a stored number: itself when it is a port, else 80. A
// number that is no port would otherwise be bound as its low 16 bits, a port
// the user never typed.
constexpr std::uint16_t portOrDefault(std::int64_t value)
{
    return static_cast<std::uint16_t>(isPort(value) ? value : kDefaultPort);
}

// A typed port: an integer by the settings file's integer rule that is a
// port, else 80.
std::uint16_t portFromText(std::string_view text);

// Ports below this one are opened only by privileged programs on Linux.
inline constexpr int kFirstUnprivilegedPort = 1024;
// The port suggested instead of one that cannot be opened.
inline constexpr int kSuggestedPort = 8080;

// Whether a port can be opened only by privileged programs (0 asks the
// system for a free one, which never is).
constexpr bool isPrivilegedPort(int port)
{
    return port > 0 && port < kFirstUnprivilegedPort;
}

// Said beside a privileged port where the user types it.
inline constexpr std::string_view kPrivilegedPortHint =
    "Ports below 1024 open only for privileged programs on Linux: if the server does not "
    "start, use a port of 1024 or above, for example 8080.";

// Where the user changes the port: the window's dialog, or the settings
// file of a program without a window.
enum class PortRemedyPlace { Dialog, SettingsFile };

// The error number of a "Socket Error # N" failure text.
std::optional<int> socketErrorNumber(std::string_view failure);

// The message shown when the server cannot start: the failure text as the
// server gives it, then what the user can do about it (for a port below 1024
// refused for want of privileges: a port of 1024 or above, such as 8080). A
// failure without a known remedy is shown as it is.
std::string startFailureMessage(std::string_view failure, std::uint16_t port,
                                PortRemedyPlace place);

} // namespace flowloom::web
