#include "app/Environment.h"

#include <QStandardPaths>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace flowloom::app {

namespace {

std::string environmentVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// $HOME, or the password database's home folder when it is unset.
std::string homeFolder()
{
    std::string home = environmentVariable("HOME");
    if (!home.empty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        home = found->pw_dir;
    return home;
}

} // namespace

FileLocations systemFileLocations(const std::filesystem::path& programFile)
{
    FileEnvironment env;
    env.programFile = programFile;
    env.programFolderWritable = folderWritableByUser(programFile.parent_path());
    env.home = homeFolder();
    env.xdgConfigHome = environmentVariable("XDG_CONFIG_HOME");
    // Qt reads the desktop's user-dirs.dirs, falling back to ~/Pictures.
    env.picturesFolder =
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
    env.fileExists = [](const std::filesystem::path& path) {
        std::error_code error;
        return std::filesystem::is_regular_file(path, error);
    };
    return fileLocations(env);
}

} // namespace flowloom::app
