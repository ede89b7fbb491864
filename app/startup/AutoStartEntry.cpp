#include "app/startup/AutoStartEntry.h"

#include "app/ini/FileLocations.h"
#include "sampling/TextBytes.h"
#include "sampling/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace flowloom::app {

namespace {

// An autostart entry is a few hundred bytes; a larger file is not ours.
constexpr std::uintmax_t kMaxEntrySize = 64 * 1024;

// The characters that make an Exec argument need quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
// The characters a backslash escapes inside quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

bool hasControlCharacter(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F')
            return true;
    return false;
}

AutoStartResult unableToWrite(const fs::path& entry)
{
    return {false, "Unable to write to " + entry.string()};
}

} // namespace

std::optional<std::string> execArgument(std::string_view argument)
{
    if (argument.empty() || hasControlCharacter(argument) || !sampling::isValidUtf8(argument))
        return std::nullopt;
    const bool quoted = argument.find_first_of(kReserved) != std::string_view::npos;
    std::string out = quoted ? "\"" : "";
    for (const char c : argument) {
        if (c == '%')
            out += "%%";
        else if (quoted && kEscapedInQuotes.find(c) != std::string_view::npos)
            out += {'\\', c};
        else
            out += c;
    }
    if (quoted)
        out += '"';
    return out;
}

std::string escapedValue(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> autoStartEntryText(const fs::path& programFile)
{
    const std::optional<std::string> program = execArgument(programFile.string());
    if (!program)
        return std::nullopt;
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Flowloom\n"
           "Comment=Start Flowloom at login with its window minimised\n"
           "Icon=" +
           std::string(kDesktopId) + "\nExec=" + escapedValue(*program + " --minimized") +
           "\nTryExec=" + escapedValue(programFile.string()) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n" +
           std::string(kAutoStartMark) + "\n";
}

bool isOwnAutoStartEntry(std::string_view text)
{
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);)
        if (line == kAutoStartMark)
            return true;
    return false;
}

AutoStartResult writeAutoStartEntry(const fs::path& entry, const fs::path& programFile)
{
    const std::optional<std::string> text = autoStartEntryText(programFile);
    if (!text)
        return unableToWrite(entry);
    std::error_code error;
    fs::create_directories(entry.parent_path(), error);
    if (error)
        return unableToWrite(entry);

    std::string temporary = entry.string() + ".XXXXXX";
    sampling::UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid())
        return unableToWrite(entry);
    const bool written = ::fchmod(fd.get(), 0644) == 0 && sampling::writeAll(fd.get(), *text) &&
                         ::fsync(fd.get()) == 0 && fd.close() &&
                         ::rename(temporary.c_str(), entry.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        return unableToWrite(entry);
    }
    // The rename itself survives a power cut once the folder is flushed.
    sampling::UniqueFd folder(
        ::open(entry.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return {};
}

AutoStartResult removeAutoStartEntry(const fs::path& entry)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(entry, error);
    if (status.type() == fs::file_type::not_found)
        return {};
    // Only a plain file of our own: a link or a folder there is the user's.
    if (status.type() != fs::file_type::regular || fs::file_size(entry, error) > kMaxEntrySize)
        return {};
    std::ifstream in(entry, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in.is_open() || !isOwnAutoStartEntry(content.str()))
        return {};
    if (::unlink(entry.c_str()) != 0 && errno != ENOENT)
        return {false, "Unable to remove " + entry.string()};
    return {};
}

} // namespace flowloom::app
