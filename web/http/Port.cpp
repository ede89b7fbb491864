#include "web/http/Port.h"

#include "sampling/IntegerText.h"

#include <cerrno>

namespace flowloom::web {

std::uint16_t portFromText(std::string_view text)
{
    const std::optional<std::int32_t> value = sampling::IntegerText::readInt(text);
    return value ? portOrDefault(*value) : static_cast<std::uint16_t>(kDefaultPort);
}

std::optional<int> socketErrorNumber(std::string_view failure)
{
    constexpr std::string_view kPrefix = "Socket Error # ";
    if (!failure.starts_with(kPrefix))
        return std::nullopt;
    failure.remove_prefix(kPrefix.size());
    int number = 0;
    std::size_t digits = 0;
    while (digits < failure.size() && digits < 6 && failure[digits] >= '0' &&
           failure[digits] <= '9')
        number = number * 10 + (failure[digits++] - '0');
    if (digits == 0 ||
        (digits < failure.size() && failure[digits] >= '0' && failure[digits] <= '9'))
        return std::nullopt;
    return number;
}

namespace {

// "under "Advanced..."" or "as Port= in the settings file", with the port.
std::string choosePort(int port, PortRemedyPlace place)
{
    const std::string number = std::to_string(port);
    return place == PortRemedyPlace::Dialog
               ? "Choose another port under \"Advanced...\" on the \"Web Server\" page, for "
                 "example " +
                     number + "."
               : "Set another port as \"Port=\" in the settings file, for example Port=" + number +
                     ".";
}

} // namespace

std::string startFailureMessage(std::string_view failure, std::uint16_t port, PortRemedyPlace place)
{
    const int other = port == kSuggestedPort ? kSuggestedPort + 1 : kSuggestedPort;
    const std::string portText = std::to_string(port);
    std::string remedy;
    const std::optional<int> error = socketErrorNumber(failure);
    if (error == EACCES || error == EPERM) {
        remedy = port < kFirstUnprivilegedPort
                     ? "Port " + portText +
                           " is below 1024: on Linux only privileged programs may open such a "
                           "port. Use a port of 1024 or above. " +
                           choosePort(other, place)
                     : "The system does not let this program open port " + portText + ". " +
                           choosePort(other, place);
    } else if (error == EADDRINUSE ||
               failure.starts_with("Could not bind socket. Address and port are already in use.")) {
        remedy = "Another program already listens on port " + portText +
                 ". End that program, or use another port. " + choosePort(other, place);
    } else if (error == EADDRNOTAVAIL ||
               failure.find("is not a dotted IPv4 address") != std::string_view::npos) {
        remedy = place == PortRemedyPlace::Dialog
                     ? "The listening address is not an IPv4 address of this machine. Choose "
                       "another under \"Web server listening IP address\"."
                     : "The listening address is not an IPv4 address of this machine. Choose "
                       "another with \"ServerIP=\" (the position of an interface that has one) "
                       "in the settings file.";
    }
    std::string message(failure);
    if (!remedy.empty())
        message.append("\r\n").append(remedy);
    return message;
}

} // namespace flowloom::web
