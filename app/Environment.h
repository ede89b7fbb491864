#pragma once

#include "sampling/DateTime.h"
#include "sampling/IPHelper.h"

#include <filesystem>
#include <functional>
#include <string>

namespace flowloom::app {

// Everything outside the program that the main window reads. The program
// passes the real ones; tests pass a scripted interface table, a manual clock
// and a temporary folder.
struct Environment
{
    sampling::InterfaceSource& interfaces;
    const sampling::WallClock& clock;
    std::filesystem::path programFile; // settings and help file live beside it
    // Tells the user something in a message box; tests collect the texts.
    std::function<void(const std::string&)> showMessage;
};

// The program file's path with its extension replaced (or appended).
std::filesystem::path besideProgram(const std::filesystem::path& programFile,
                                    const char* extension);

// The settings file of the program at `programFile`.
std::filesystem::path settingsPathFor(const std::filesystem::path& programFile);

} // namespace flowloom::app
