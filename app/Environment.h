#pragma once

#include "app/ini/FileLocations.h"
#include "sampling/DateTime.h"
#include "sampling/IPHelper.h"
#include "sampling/SleepDetector.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace flowloom::appnet {
class ApplicationTraffic;
}

namespace flowloom::app {

struct Dialogs;

// Everything outside the program that the main window reads. The program
// passes the real ones; tests pass a scripted interface table, a manual clock
// and a temporary folder.
struct Environment
{
    sampling::InterfaceSource& interfaces;
    const sampling::WallClock& clock;
    std::filesystem::path programFile;
    // Tells the user something in a message box; tests collect the texts.
    std::function<void(const std::string&)> showMessage;
    // Where the settings, the guide and the images go; none: beside programFile.
    std::optional<FileLocations> files = std::nullopt;
    // The common dialogs the window opens; none: the desktop's own.
    Dialogs* dialogs = nullptr;
    // Without a display ("--headless"): the window is never shown, and what it
    // would tell the user goes to standard error.
    bool headless = false;
    // The boot and monotonic clocks that tell a sleep; none: the system's.
    const sampling::SleepClocks* sleepClocks = nullptr;
    // The traffic per application; none: the system's sockets.
    std::function<std::unique_ptr<appnet::ApplicationTraffic>()> applicationTraffic = {};
    // Whether the interface table and the clocks above may be read on a
    // thread of their own while nobody sees the figures (the system's may;
    // tests script them on the window's thread).
    bool readsUnseenOnThread = false;
};

// The locations of the running program under the rule of fileLocations(),
// from its file path, its folder's permissions, $HOME, $XDG_CONFIG_HOME and
// the desktop's pictures folder.
FileLocations systemFileLocations(const std::filesystem::path& programFile);

} // namespace flowloom::app
