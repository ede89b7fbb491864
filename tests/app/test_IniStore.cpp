#include "app/ini/IniStore.h"

#include "IniTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <stdexcept>

using flowloom::app::IniLoad;
using flowloom::app::IniSave;
using flowloom::app::IniStore;
using flowloom::test::FileSizeLimit;
using flowloom::test::readBytes;
using flowloom::test::TempFolder;
using flowloom::test::writeBytes;
using namespace std::string_literals;

TEST(IniStore, ReadsNamesWithoutCaseAndTrimsValues)
{
    const IniStore store = IniStore::parse("Points=7\n" // before any section: not in one
                                           "[other]\r\n"
                                           "Points=8\r\n"
                                           "  [ plotter ]  \r\n" // blanks around the name
                                           "; Points=9\n"        // a comment is no key
                                           "POINTS = \t 10 \t\r" // lone CR ends a line
                                           "points=11\n"         // the first of two wins
                                           "Label=  KBytes / sec  \n"
                                           "Empty=\n"
                                           "[Plotter]\n"
                                           "Alpha=12\n");
    EXPECT_EQ(store.read("Plotter", "Points"), "10");
    EXPECT_EQ(store.read("PLOTTER", "pOiNtS"), "10");
    EXPECT_EQ(store.read("Plotter", "Label"), "KBytes / sec");
    EXPECT_EQ(store.read("Plotter", "Empty"), "");
    EXPECT_EQ(store.read("Other", "points"), "8");
    // Only the first section of a name is read.
    EXPECT_EQ(store.read("Plotter", "Alpha"), std::nullopt);
    EXPECT_EQ(store.read("Plotter", "Missing"), std::nullopt);
    EXPECT_EQ(store.read("Missing", "Points"), std::nullopt);
}

TEST(IniStore, ValuesAreBytesCutAt2047AndAtNul)
{
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high += static_cast<char>(c);
    const std::string longValue(3000, 'x');
    const IniStore store = IniStore::parse("[Plotter]\r\nPass=" + high + "\r\nLong=" + longValue +
                                           "\r\nNul=ab\0cd\r\n"s);
    EXPECT_EQ(store.read("Plotter", "Pass"), high);
    EXPECT_EQ(store.read("Plotter", "Long"), std::string(2047, 'x'));
    EXPECT_EQ(store.read("Plotter", "Nul"), "ab");
}

TEST(IniStore, WritesReplaceInPlaceAppendToTheSectionAndKeepEverythingElse)
{
    IniStore store = IniStore::parse("; settings\r\n"
                                     "[Plotter]\r\n"
                                     "points=5\r\n"
                                     "Unknown=keep me\r\n"
                                     "\r\n"
                                     "[Other]\r\n"
                                     "Points=6\r\n");
    store.write("Plotter", "Points", "400");
    store.write("Plotter", "Max", "800");
    store.write("Extra", "Key", "v");
    EXPECT_EQ(store.serialise(), "; settings\r\n"
                                 "[Plotter]\r\n"
                                 "points=400\r\n"
                                 "Unknown=keep me\r\n"
                                 "Max=800\r\n"
                                 "\r\n"
                                 "[Other]\r\n"
                                 "Points=6\r\n"
                                 "[Extra]\r\n"
                                 "Key=v\r\n");

    // A new store holds its keys in the order written.
    IniStore fresh;
    fresh.write("Plotter", "First", "0");
    fresh.write("Plotter", "URL", "0");
    fresh.write("Plotter", "first", "1");
    EXPECT_EQ(fresh.serialise(), "[Plotter]\r\nFirst=1\r\nURL=0\r\n");
}

TEST(IniStore, AValueCannotPlantLinesAndKeysMustBeNames)
{
    IniStore store;
    store.write("Plotter", "Label", "x\r\n[Plotter]\r\nPoints=1");
    store.write("Plotter", "Temp", "a\nb");
    store.write("Plotter", "User", "u\0v"s);
    EXPECT_EQ(store.serialise(), "[Plotter]\r\nLabel=x\r\nTemp=a\r\nUser=u\r\n");
    EXPECT_EQ(store.read("Plotter", "Points"), std::nullopt);

    for (const char* bad : {"", "a=b", " a", "a ", "[a", ";a", "a\nb"})
        EXPECT_THROW(store.write("Plotter", bad, "1"), std::invalid_argument) << bad;
}

TEST(IniStore, RandomBytesNeverBreakTheRules)
{
    // Bytes that matter to the reader are drawn far more often than others.
    const std::string alphabet = "[]=; \t\r\n\0aAbPpLlOoTtEeRr01\xDF\xF2\xFF\x80"s;
    std::mt19937 random(20080219);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(random() % 300, '\0');
        for (char& c : bytes)
            c = random() % 4 == 0 ? static_cast<char>(random())
                                  : alphabet[random() % alphabet.size()];
        IniStore store = IniStore::parse(bytes);

        const std::string once = store.serialise();
        ASSERT_EQ(IniStore::parse(once).serialise(), once);
        for (const char* key : {"a", "Pa", "pt", "ER"}) {
            const auto value = store.read("plotter", key);
            ASSERT_TRUE(!value || value->size() <= IniStore::kMaxValueLength);
        }

        const std::size_t before = store.lineCount();
        store.write("Plotter", "Pt", " written ");
        EXPECT_EQ(store.read("PLOTTER", "pt"), "written");
        EXPECT_LE(store.lineCount(), before + 2);
        const IniStore again = IniStore::parse(store.serialise());
        EXPECT_EQ(again.read("plotter", "PT"), "written");
        EXPECT_EQ(again.serialise(), store.serialise());
    }
}

TEST(IniStore, LoadsAndSavesFilesWhole)
{
    TempFolder folder;
    IniStore store;
    EXPECT_EQ(IniStore::load(folder / "none.ini", store), IniLoad::Missing);
    EXPECT_EQ(IniStore::load(folder.path(), store), IniLoad::Failed); // a folder is no file

    // A byte-order mark before the first section is kept and not taken as part of it.
    const std::string original = "\xEF\xBB\xBF[Plotter]\nPoints=5\n[Other]\r\nX=\xFF\r\n";
    writeBytes(folder / "flowloom.ini", original);
    ASSERT_EQ(IniStore::load(folder / "flowloom.ini", store), IniLoad::Loaded);
    EXPECT_EQ(store.read("Plotter", "Points"), "5");
    store.write("Plotter", "Points", "31");
    ASSERT_TRUE(store.save(folder / "flowloom.ini").ok());
    EXPECT_EQ(readBytes(folder / "flowloom.ini"),
              "\xEF\xBB\xBF[Plotter]\r\nPoints=31\r\n[Other]\r\nX=\xFF\r\n");

    // Nothing but the settings file is left in the folder.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(IniStore, LoadingNeverWaitsAndRefusesWhatIsNoRegularFile)
{
    TempFolder folder;
    // A named pipe without a writer would block a plain open for good.
    ASSERT_EQ(::mkfifo((folder / "pipe.ini").c_str(), 0644), 0);
    IniStore store;
    EXPECT_EQ(IniStore::load(folder / "pipe.ini", store), IniLoad::Failed);
    EXPECT_EQ(IniStore::load("/dev/zero", store), IniLoad::Failed) << "a device";
    EXPECT_EQ(IniStore::load(folder.path(), store), IniLoad::Failed) << "a folder";
    EXPECT_EQ(store.lineCount(), 0u);
}

TEST(IniStore, AFailedSaveReportsThePathAndLeavesTheOldFileIntact)
{
    TempFolder folder;
    IniStore store;
    store.write("Plotter", "Label", std::string(4000, 'L'));

    // A folder that is really a file.
    writeBytes(folder / "file", "not a folder");
    const auto notFolder = store.save(folder / "file" / "flowloom.ini");
    EXPECT_EQ(notFolder.status, IniSave::Failed);
    EXPECT_EQ(notFolder.message,
              "Unable to write to " + (folder.path() / "file" / "flowloom.ini").string());

    // A folder standing where the file should be cannot be replaced.
    std::filesystem::create_directory(folder / "taken.ini");
    EXPECT_EQ(store.save(folder / "taken.ini").status, IniSave::Failed);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.ini"));

    // The disk refuses the new contents half-way.
    const std::string old = "[Plotter]\r\nLabel=old\r\nUnknown=1\r\n";
    writeBytes(folder / "flowloom.ini", old);
    {
        FileSizeLimit limit(1000);
        const auto full = store.save(folder / "flowloom.ini");
        EXPECT_EQ(full.status, IniSave::Failed);
        EXPECT_EQ(full.message, "Unable to write to " + (folder / "flowloom.ini").string());
    }
    EXPECT_EQ(readBytes(folder / "flowloom.ini"), old);

    // No temporary file is left behind by any of the failures.
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "file" || name == "taken.ini" || name == "flowloom.ini") << name;
    }
}

TEST(IniStore, ANewFileIsTheUsersAloneAndASecretLosesItsReaders)
{
    using flowloom::app::FileSecrecy;
    struct Case
    {
        std::optional<unsigned> existing;
        FileSecrecy secrecy;
        unsigned mode;
    };
    const Case cases[] = {
        {std::nullopt, FileSecrecy::Plain, 0600},
        {std::nullopt, FileSecrecy::HoldsSecret, 0600},
        {S_IFREG | 0644u, FileSecrecy::Plain, 0644},
        {S_IFREG | 0640u, FileSecrecy::Plain, 0640},
        {S_IFREG | 0644u, FileSecrecy::HoldsSecret, 0600},
        {S_IFREG | 0664u, FileSecrecy::HoldsSecret, 0620}, // only the read bits go
        {S_IFREG | 0755u, FileSecrecy::HoldsSecret, 0711},
        {S_IFREG | 0600u, FileSecrecy::HoldsSecret, 0600},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniStore::fileMode(c.existing, c.secrecy), c.mode)
            << std::oct << (c.existing ? *c.existing : 0u) << " "
            << (c.secrecy == FileSecrecy::HoldsSecret ? "secret" : "plain");
}

TEST(IniStore, TheSavedFileTakesItsModeFromTheRule)
{
    using flowloom::app::FileSecrecy;
    TempFolder folder;
    const auto path = folder / "flowloom.ini";
    const auto modeOf = [&] {
        struct stat st
        {
        };
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777u;
    };
    IniStore store = IniStore::parse("[Plotter]\r\nPoints=10\r\n");
    ASSERT_TRUE(store.save(path).ok());
    EXPECT_EQ(modeOf(), 0600u) << "created";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_TRUE(store.save(path).ok());
    EXPECT_EQ(modeOf(), 0644u) << "kept";
    ASSERT_TRUE(store.save(path, FileSecrecy::HoldsSecret).ok());
    EXPECT_EQ(modeOf(), 0600u) << "a secret loses its readers";
}
