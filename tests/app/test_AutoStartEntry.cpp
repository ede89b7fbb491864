// Start at login: the Exec quoting of the desktop entry rules, checked by
// reading the entry back with an independent reader of those rules, and the
// entry's file written atomically and removed only when it is ours.
#include "app/startup/AutoStartEntry.h"

#include "DesktopEntryReader.h"
#include "IniTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using namespace flowloom::app;
using namespace flowloom::test;

namespace {

ino_t inodeOf(const fs::path& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

const char* const kEntryName = "org.example.flowloom.desktop";

} // namespace

TEST(AutoStartEntry, ExecArgumentsAreQuotedByTheDesktopEntryRules)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"/usr/bin/flowloom", "/usr/bin/flowloom"},
        {"/opt/a=b,c+d@e/flowloom", "/opt/a=b,c+d@e/flowloom"}, // nothing reserved
        {"/home/ann/my tools/flowloom", "\"/home/ann/my tools/flowloom\""},
        {"/opt/it's/flowloom", "\"/opt/it's/flowloom\""},
        {"/opt/a;b/flowloom", "\"/opt/a;b/flowloom\""},
        {"/opt/~x/(y)/*?#|&<>", "\"/opt/~x/(y)/*?#|&<>\""},
        // Inside quotes a backslash escapes '"', '`', '$' and '\'.
        {"/opt/a\"b", "\"/opt/a\\\"b\""},
        {"/opt/a$HOME", "\"/opt/a\\$HOME\""},
        {"/opt/`x`", "\"/opt/\\`x\\`\""},
        {"/opt/a\\b", "\"/opt/a\\\\b\""},
        // A percent sign is doubled, quoted or not.
        {"/opt/50%/flowloom", "/opt/50%%/flowloom"},
        {"/opt/50% off/flowloom", "\"/opt/50%% off/flowloom\""},
        // UTF-8 stands as it is.
        {"/home/j\xC3\xBCrgen/flowloom", "/home/j\xC3\xBCrgen/flowloom"},
        // What cannot stand in an entry.
        {"", std::nullopt},
        {"/opt/a\nb", std::nullopt},
        {"/opt/a\tb", std::nullopt},
        {"/opt/a\x7F", std::nullopt},
        {"/opt/\xFF", std::nullopt},             // not UTF-8
        {"/opt/\xC3", std::nullopt},             // cut short
        {"/opt/\xC0\xAF", std::nullopt},         // overlong "/"
        {"/opt/\xE0\x80\xAF", std::nullopt},     // overlong "/"
        {"/opt/\xED\xA0\x80", std::nullopt},     // a surrogate
        {"/opt/\xF4\x90\x80\x80", std::nullopt}, // past U+10FFFF
    };
    for (const auto& [argument, exec] : cases)
        EXPECT_EQ(execArgument(argument), exec) << argument;
}

TEST(AutoStartEntry, TheEntryStartsThatProgramMinimisedWhateverItsPath)
{
    for (const std::string program :
         {"/usr/bin/flowloom", "/home/ann/my tools/flowloom", "/opt/a\\b $x \"q\" 100%/flowloom",
          "/opt/`it's`;#/flowloom", "/home/j\xC3\xBCrgen/flowloom"}) {
        SCOPED_TRACE(program);
        const std::optional<std::string> text = autoStartEntryText(program);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(text->rfind("[Desktop Entry]\n", 0), 0u);
        EXPECT_EQ(rawValue(*text, "Type"), "Application");
        EXPECT_EQ(rawValue(*text, "Icon"), "org.example.flowloom");
        const std::optional<std::string> exec = rawValue(*text, "Exec");
        ASSERT_TRUE(exec.has_value());
        EXPECT_EQ(execArguments(*exec), (std::vector<std::string>{program, "--minimized"}))
            << *exec;
        // TryExec is a plain string: only the string escapes apply.
        const std::optional<std::string> tryExec = rawValue(*text, "TryExec");
        ASSERT_TRUE(tryExec.has_value());
        EXPECT_EQ(unescaped(*tryExec), program);
        EXPECT_TRUE(isOwnAutoStartEntry(*text));
    }
    EXPECT_FALSE(autoStartEntryText("/opt/a\nb/flowloom").has_value());
}

TEST(AutoStartEntry, OwnEntriesAreKnownByTheirMarkLine)
{
    for (const auto& [text, own] : std::vector<std::pair<std::string, bool>>{
             {"[Desktop Entry]\nX-Flowloom-AutoStart=true\n", true},
             {"[Desktop Entry]\nX-Flowloom-AutoStart=true", true},
             {"[Desktop Entry]\nExec=flowloom\n", false},
             {"[Desktop Entry]\n#X-Flowloom-AutoStart=true\n", false},
             {"[Desktop Entry]\nX-Flowloom-AutoStart=false\n", false},
             {"", false}})
        EXPECT_EQ(isOwnAutoStartEntry(text), own) << text;
}

TEST(AutoStartEntry, WritingMakesTheFolderAndReplacesTheEntryWhole)
{
    TempFolder config;
    const fs::path entry = config / "autostart" / kEntryName;
    ASSERT_TRUE(writeAutoStartEntry(entry, "/opt/first/flowloom").ok);
    EXPECT_EQ(readBytes(entry), autoStartEntryText("/opt/first/flowloom"));
    EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    // A second write renames a new file over the old one, never writes into it.
    const ino_t before = inodeOf(entry);
    ASSERT_TRUE(writeAutoStartEntry(entry, "/opt/second place/flowloom").ok);
    EXPECT_EQ(readBytes(entry), autoStartEntryText("/opt/second place/flowloom"));
    EXPECT_NE(inodeOf(entry), before);
    std::vector<fs::path> left;
    for (const auto& item : fs::directory_iterator(entry.parent_path()))
        left.push_back(item.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{kEntryName}) << "no temporary file";

    // The written entry is one the desktop's own checker accepts.
    FILE* check = ::popen(("desktop-file-validate '" + entry.string() + "' 2>&1").c_str(), "r");
    ASSERT_NE(check, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, check) != nullptr)
        output += buffer;
    const int status = ::pclose(check);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(output, "");
}

TEST(AutoStartEntry, AFailedWriteIsToldAndLeavesNothing)
{
    TempFolder config;
    // The autostart folder cannot be made: a file stands where it would go.
    writeBytes(config / "autostart", "not a folder");
    // And a program path no entry can hold.
    for (const auto& [entry, program] : std::vector<std::pair<fs::path, std::string>>{
             {config / "autostart" / kEntryName, "/usr/bin/flowloom"},
             {config / "other" / kEntryName, "/opt/a\nb/flowloom"}}) {
        const auto result = writeAutoStartEntry(entry, program);
        EXPECT_FALSE(result.ok) << entry;
        EXPECT_EQ(result.message, "Unable to write to " + entry.string());
        EXPECT_FALSE(fs::exists(entry));
    }
    EXPECT_EQ(readBytes(config / "autostart"), "not a folder");
}

TEST(AutoStartEntry, RemovingTakesOnlyAnEntryThisProgramWrote)
{
    TempFolder config;
    const fs::path entry = config / "autostart" / kEntryName;
    EXPECT_TRUE(removeAutoStartEntry(entry).ok) << "nothing there: nothing to do";

    ASSERT_TRUE(writeAutoStartEntry(entry, "/usr/bin/flowloom").ok);
    const fs::path beside = config / "autostart" / "other.desktop";
    writeBytes(beside, "[Desktop Entry]\nX-Flowloom-AutoStart=true\n");
    EXPECT_TRUE(removeAutoStartEntry(entry).ok);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(fs::exists(beside)) << "only the file of that name";

    // What stays: the user's own entry of the same name (a desktop tool's copy
    // of the launcher), a link, even to an entry of ours, and a folder.
    const std::string users = "[Desktop Entry]\nType=Application\nExec=flowloom\n";
    writeBytes(entry, users);
    EXPECT_TRUE(removeAutoStartEntry(entry).ok);
    EXPECT_EQ(readBytes(entry), users);
    fs::remove(entry);
    fs::create_symlink(beside, entry);
    EXPECT_TRUE(removeAutoStartEntry(entry).ok);
    EXPECT_TRUE(fs::is_symlink(entry));
    fs::remove(entry);
    fs::create_directory(entry);
    EXPECT_TRUE(removeAutoStartEntry(entry).ok);
    EXPECT_TRUE(fs::is_directory(entry));
}
