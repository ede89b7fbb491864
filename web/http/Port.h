#pragma once

#include <cstdint>
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

} // namespace flowloom::web
