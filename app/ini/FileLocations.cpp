#include "app/ini/FileLocations.h"

#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace flowloom::app {

namespace {

fs::path besideProgram(const fs::path& programFile, const char* extension)
{
    fs::path path = programFile;
    path.replace_extension(extension);
    return path;
}

// <prefix> when the program is <prefix>/bin/<name>.
fs::path installPrefixOf(const fs::path& programFile)
{
    return programFile.parent_path().parent_path();
}

fs::path configHome(const FileEnvironment& env)
{
    // A relative XDG base directory is ignored, as the desktop convention says.
    if (!env.xdgConfigHome.empty() && fs::path(env.xdgConfigHome).is_absolute())
        return env.xdgConfigHome;
    return fs::path(env.home) / ".config";
}

bool userInGroup(gid_t group)
{
    if (getegid() == group)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    return false;
}

} // namespace

FileLocations fileLocations(const FileEnvironment& env)
{
    const fs::path prefix = installPrefixOf(env.programFile);
    const bool exists = static_cast<bool>(env.fileExists);
    const bool inInstalledTree =
        exists && env.programFile.parent_path().filename() == "bin" &&
        env.fileExists(prefix / "share" / "applications" / (std::string(kDesktopId) + ".desktop"));

    FileLocations files;
    if (!env.home.empty() || fs::path(env.xdgConfigHome).is_absolute())
        files.autostartEntry =
            configHome(env) / "autostart" / (std::string(kDesktopId) + ".desktop");
    if (env.programFolderWritable && !inInstalledTree) {
        files.portable = true;
        files.settingsFile = besideProgram(env.programFile, ".ini");
        files.helpFile = besideProgram(env.programFile, ".html");
        files.helpFileWritten = true;
        files.filesFolder = env.programFile.parent_path();
        return files;
    }

    files.portable = false;
    const fs::path settingsFolder = configHome(env) / "flowloom";
    files.settingsFile = settingsFolder / "flowloom.ini";
    const fs::path installedGuide = prefix / "share" / "doc" / "flowloom" / "flowloom.html";
    if (exists && env.fileExists(installedGuide)) {
        files.helpFile = installedGuide;
        files.helpFileWritten = false;
    } else {
        files.helpFile = settingsFolder / "flowloom.html";
        files.helpFileWritten = true;
    }
    const fs::path pictures =
        env.picturesFolder.empty() ? fs::path(env.home) / "Pictures" : env.picturesFolder;
    files.filesFolder = pictures / "Flowloom";
    return files;
}

FileLocations portableLocations(const fs::path& programFile)
{
    FileEnvironment env;
    env.programFile = programFile;
    env.programFolderWritable = true;
    return fileLocations(env);
}

void prepareFolders(const FileLocations& locations)
{
    if (locations.portable)
        return;
    std::error_code error;
    const bool firstRun = !fs::exists(locations.settingsFile, error);
    fs::create_directories(locations.settingsFile.parent_path(), error);
    if (firstRun)
        fs::create_directories(locations.filesFolder, error);
    // A folder that cannot be made shows later: saving reports "Unable to
    // write to ...", capturing stays disabled while its folder is missing.
}

bool folderWritableByUser(const fs::path& folder)
{
    struct stat info
    {
    };
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    if (info.st_uid == geteuid())
        return (info.st_mode & S_IWUSR) != 0;
    if (userInGroup(info.st_gid))
        return (info.st_mode & S_IWGRP) != 0;
    return (info.st_mode & S_IWOTH) != 0;
}

} // namespace flowloom::app
