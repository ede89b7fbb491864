#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace flowloom::app {

// Start at login: an XDG autostart entry, <config home>/autostart/<desktop
// id>.desktop, that the desktop session runs at login. It starts the program
// that wrote it with its window minimised.
//
// The entry carries a line of its own (kAutoStartMark) so that turning the
// setting off removes only an entry this program wrote, never one the user
// made with the desktop's own tools under the same name.
inline constexpr std::string_view kAutoStartMark = "X-Flowloom-AutoStart=true";

// One argument of an Exec line: as it is when it holds no reserved character,
// else in double quotes with '"', '`', '$' and '\' escaped by a backslash;
// "%" is doubled in both forms (field codes). Nothing when the argument
// cannot stand in an entry (control characters, bytes that are not UTF-8).
// The result is the argument as the Exec rules read it; the entry's general
// string escapes are applied on top (escapedValue()).
std::optional<std::string> execArgument(std::string_view argument);

// A value of a desktop entry's string type: '\' written as "\\".
std::string escapedValue(std::string_view value);

// The whole entry for that program file; nothing when its path cannot stand
// in an entry.
std::optional<std::string> autoStartEntryText(const std::filesystem::path& programFile);

// Whether the entry's text is one this program wrote.
bool isOwnAutoStartEntry(std::string_view text);

struct AutoStartResult
{
    bool ok = true;
    std::string message; // when not ok: what the user is told
};

// Writes the entry for programFile at `entry`, making its folder: into a
// temporary file beside it, flushed, then renamed over it, so that the
// desktop never reads half an entry. On failure nothing is left behind and
// the message is "Unable to write to <entry>".
AutoStartResult writeAutoStartEntry(const std::filesystem::path& entry,
                                    const std::filesystem::path& programFile);

// Removes the entry when this program wrote it; a missing entry or one that
// is not ours (it stays) is no failure. A failing removal says
// "Unable to remove <entry>".
AutoStartResult removeAutoStartEntry(const std::filesystem::path& entry);

} // namespace flowloom::app
