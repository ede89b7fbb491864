#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace flowloom::app {

// The name the desktop knows the program by: launcher, icon and metadata.
inline constexpr const char* kDesktopId = "org.example.flowloom";

// What the program knows of its surroundings when it decides where its files go.
struct FileEnvironment
{
    std::filesystem::path programFile;    // the running program, absolute
    bool programFolderWritable = true;    // folderWritableByUser() of its folder
    std::string home;                     // $HOME
    std::string xdgConfigHome;            // $XDG_CONFIG_HOME; empty or relative counts as unset
    std::filesystem::path picturesFolder; // the desktop's pictures folder; empty: $HOME/Pictures
    std::function<bool(const std::filesystem::path&)> fileExists;
};

// Where the program keeps its files.
struct FileLocations
{
    // A portable copy keeps everything beside the program file; an installed
    // program keeps it in the user's own folders.
    bool portable = true;
    std::filesystem::path settingsFile;
    // The user guide that "Help" opens. When helpFileWritten, the program
    // writes it at start-up and removes it at close; otherwise it is the
    // installed guide, only read.
    std::filesystem::path helpFile;
    bool helpFileWritten = true;
    // First-run value of the capture folder ("Folder"), and where "Save As..." opens.
    std::filesystem::path filesFolder;
    // Where "Start at login" puts its autostart entry: the user's, portable
    // or not; empty when the user's folders are unknown.
    std::filesystem::path autostartEntry;
};

// The one rule. Portable when the program's folder is writable for the user
// and the program does not stand in an installed tree (<prefix>/bin beside
// <prefix>/share/applications/<id>.desktop): the settings file, the guide and
// the capture folder are the program's, as they always were. Installed
// otherwise: $XDG_CONFIG_HOME/flowloom/flowloom.ini (~/.config/... by
// default), the guide from <prefix>/share/doc/flowloom/ or else a copy beside
// the settings, and the pictures folder's "Flowloom" for images. Either way
// the autostart entry is $XDG_CONFIG_HOME/autostart/<desktop id>.desktop.
FileLocations fileLocations(const FileEnvironment& environment);

// The locations of a program that always keeps its files beside itself.
FileLocations portableLocations(const std::filesystem::path& programFile);

// Makes the folders an installed program writes into: the settings folder,
// and on a first run (no settings file yet) the default capture folder, so
// that capturing works at once as it does beside a portable program.
void prepareFolders(const FileLocations& locations);

// Whether the user may write into `folder`: the system must allow it (a
// read-only mount or another user's folder does not) and the folder's
// permission bits must give write access to the user's class (owner, group
// or others). The second test holds for root too, so a folder without write
// bits counts as read-only even for root, who could write into it anyway.
bool folderWritableByUser(const std::filesystem::path& folder);

} // namespace flowloom::app
