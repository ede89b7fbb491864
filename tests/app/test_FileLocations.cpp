#include "app/ini/FileLocations.h"

#include "IniTestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using flowloom::app::FileEnvironment;
using flowloom::app::FileLocations;
using flowloom::app::fileLocations;
using flowloom::app::folderWritableByUser;
using flowloom::app::prepareFolders;
using flowloom::test::TempFolder;

namespace {

FileEnvironment environment(const char* program, bool writable, std::set<fs::path> files = {})
{
    FileEnvironment env;
    env.programFile = program;
    env.programFolderWritable = writable;
    env.home = "/home/ann";
    env.fileExists = [files](const fs::path& path) { return files.count(path) > 0; };
    return env;
}

const fs::path kLauncher = "/usr/share/applications/org.example.flowloom.desktop";
const fs::path kGuide = "/usr/share/doc/flowloom/flowloom.html";

} // namespace

TEST(FileLocations, PortableCopyKeepsEverythingBesideItself)
{
    // A writable folder, even one named bin, as long as no launcher stands beside it.
    for (const char* program : {"/opt/tools/flowloom", "/home/ann/bin/flowloom"}) {
        const FileLocations files = fileLocations(environment(program, true));
        const fs::path folder = fs::path(program).parent_path();
        EXPECT_TRUE(files.portable) << program;
        EXPECT_EQ(files.settingsFile, folder / "flowloom.ini");
        EXPECT_EQ(files.helpFile, folder / "flowloom.html");
        EXPECT_TRUE(files.helpFileWritten);
        EXPECT_EQ(files.filesFolder, folder);
    }
    // The settings file takes the program's own name, as it always did.
    EXPECT_EQ(fileLocations(environment("/opt/x/netmon.bin", true)).settingsFile,
              "/opt/x/netmon.ini");
    EXPECT_EQ(flowloom::app::portableLocations("/opt/x/flowloom").settingsFile,
              "/opt/x/flowloom.ini");
}

TEST(FileLocations, InstalledProgramUsesTheUsersFolders)
{
    // Read-only folder: XDG defaults under HOME, the installed guide read where it is.
    FileLocations files = fileLocations(environment("/usr/bin/flowloom", false, {kGuide}));
    EXPECT_FALSE(files.portable);
    EXPECT_EQ(files.settingsFile, "/home/ann/.config/flowloom/flowloom.ini");
    EXPECT_EQ(files.helpFile, kGuide);
    EXPECT_FALSE(files.helpFileWritten);
    EXPECT_EQ(files.filesFolder, "/home/ann/Pictures/Flowloom");

    // Without an installed guide the copy goes beside the settings, never beside the program.
    files = fileLocations(environment("/usr/bin/flowloom", false));
    EXPECT_EQ(files.helpFile, "/home/ann/.config/flowloom/flowloom.html");
    EXPECT_TRUE(files.helpFileWritten);

    // A writable bin folder beside the launcher is an installed tree (root, or a
    // user who owns the prefix).
    files = fileLocations(environment("/usr/bin/flowloom", true, {kLauncher, kGuide}));
    EXPECT_FALSE(files.portable);
    EXPECT_EQ(files.settingsFile, "/home/ann/.config/flowloom/flowloom.ini");

    // XDG_CONFIG_HOME when absolute; the desktop's pictures folder when known.
    FileEnvironment env = environment("/usr/bin/flowloom", false);
    env.xdgConfigHome = "/srv/conf";
    env.picturesFolder = "/home/ann/Bilder";
    files = fileLocations(env);
    EXPECT_EQ(files.settingsFile, "/srv/conf/flowloom/flowloom.ini");
    EXPECT_EQ(files.filesFolder, "/home/ann/Bilder/Flowloom");
    env.xdgConfigHome = "relative/conf";
    EXPECT_EQ(fileLocations(env).settingsFile, "/home/ann/.config/flowloom/flowloom.ini");
}

TEST(FileLocations, TheAutostartEntryIsTheUsersPortableOrNot)
{
    struct Case
    {
        const char* program;
        bool writable;
        std::string home;
        std::string xdgConfigHome;
        fs::path entry;
    };
    const Case cases[] = {
        {"/usr/bin/flowloom", false, "/home/ann", "",
         "/home/ann/.config/autostart/org.example.flowloom.desktop"},
        {"/opt/tools/flowloom", true, "/home/ann", "",
         "/home/ann/.config/autostart/org.example.flowloom.desktop"},
        {"/opt/tools/flowloom", true, "/home/ann", "/srv/conf",
         "/srv/conf/autostart/org.example.flowloom.desktop"},
        {"/usr/bin/flowloom", false, "/home/ann", "relative/conf",
         "/home/ann/.config/autostart/org.example.flowloom.desktop"},
        // A service without a home but with its configuration folder.
        {"/usr/bin/flowloom", false, "", "/var/lib/flowloom",
         "/var/lib/flowloom/autostart/org.example.flowloom.desktop"},
        // Neither known: no entry, rather than one under the working folder.
        {"/opt/tools/flowloom", true, "", "", ""},
        {"/opt/tools/flowloom", true, "", "relative/conf", ""},
    };
    for (const Case& c : cases) {
        FileEnvironment env = environment(c.program, c.writable);
        env.home = c.home;
        env.xdgConfigHome = c.xdgConfigHome;
        EXPECT_EQ(fileLocations(env).autostartEntry, c.entry) << c.program << " " << c.home;
    }
    EXPECT_EQ(flowloom::app::portableLocations("/opt/x/flowloom").autostartEntry, fs::path())
        << "the windows of the tests know no user folders";
}

TEST(FileLocations, InstalledFoldersAreMadeAndAStoredFolderIsLeftAlone)
{
    TempFolder home;
    FileLocations files;
    files.portable = false;
    files.settingsFile = home.path() / "conf" / "flowloom" / "flowloom.ini";
    files.filesFolder = home.path() / "Pictures" / "Flowloom";

    prepareFolders(files);
    EXPECT_TRUE(fs::is_directory(files.settingsFile.parent_path()));
    EXPECT_TRUE(fs::is_directory(files.filesFolder));

    // Once settings exist the capture folder is the user's business.
    std::ofstream(files.settingsFile) << "[Plotter]\r\n";
    fs::remove(files.filesFolder);
    prepareFolders(files);
    EXPECT_FALSE(fs::exists(files.filesFolder));

    // A portable copy makes nothing.
    FileLocations portable = files;
    portable.portable = true;
    portable.settingsFile = home.path() / "elsewhere" / "flowloom.ini";
    prepareFolders(portable);
    EXPECT_FALSE(fs::exists(home.path() / "elsewhere"));
}

TEST(FileLocations, WritableMeansPermissionBitsForTheUsersClassEvenForRoot)
{
    TempFolder temp;
    const fs::path folder = temp.path() / "program";
    fs::create_directory(folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_TRUE(folderWritableByUser(folder));
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0); // root could still write here
    EXPECT_FALSE(folderWritableByUser(folder));
    EXPECT_FALSE(folderWritableByUser(temp.path() / "missing"));
    std::ofstream(temp.path() / "file") << "x";
    EXPECT_FALSE(folderWritableByUser(temp.path() / "file"));

    if (::geteuid() == 0) {
        // Another owner's folder: only the "others" bits count.
        ASSERT_EQ(::chown(folder.c_str(), 54321, 54321), 0);
        ASSERT_EQ(::chmod(folder.c_str(), 0775), 0);
        EXPECT_FALSE(folderWritableByUser(folder));
        ASSERT_EQ(::chmod(folder.c_str(), 0757), 0);
        EXPECT_TRUE(folderWritableByUser(folder));
    }
    ::chmod(folder.c_str(), 0755); // let the temporary folder go
}
