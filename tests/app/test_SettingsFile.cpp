#include "app/ini/SettingsFile.h"

#include "IniTestSupport.h"

#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>

using flowloom::app::Colour;
using flowloom::app::FontStyleBits;
using flowloom::app::IniSave;
using flowloom::app::IniStore;
using flowloom::app::InterfaceTotals;
using flowloom::app::Key;
using flowloom::app::RadioGroup;
using flowloom::app::RuntimeDefaults;
using flowloom::app::SettingsFile;
using flowloom::app::SettingsKeys;
using flowloom::app::SettingsValues;
using flowloom::app::ValueType;
using flowloom::sampling::DateTime;
using flowloom::test::FileSizeLimit;
using flowloom::test::readBytes;
using flowloom::test::TempFolder;
using flowloom::test::writeBytes;

namespace {

const RuntimeDefaults kRuntime{"programs/flowloom", 300, 500};
const DateTime kNow{2026, 12, 6, 19, 44, 3};

std::string lines(std::initializer_list<std::string_view> list)
{
    std::string text;
    for (const std::string_view line : list) {
        text += line;
        text += "\r\n";
    }
    return text;
}

SettingsValues loadText(const std::string& fileText)
{
    return SettingsFile::read(IniStore::parse(fileText), kRuntime);
}

} // namespace

TEST(SettingsFile, NoFileGivesEveryDefaultAndASaveWritesTheWholeTable)
{
    TempFolder folder;
    const auto path = folder / "flowloom.ini";
    const SettingsValues loaded = SettingsFile::load(path, kRuntime);
    EXPECT_EQ(loaded, SettingsValues::defaults(kRuntime));
    EXPECT_FALSE(std::filesystem::exists(path)); // loading creates nothing

    const std::vector<InterfaceTotals> totals = SettingsFile::loadTotals(path, 1, kNow);
    ASSERT_EQ(totals.size(), 1u);
    EXPECT_EQ(totals[0], (InterfaceTotals{0, kNow, 0, kNow}));

    ASSERT_TRUE(SettingsFile::save(path, loaded, totals).ok());
    EXPECT_EQ(readBytes(path), lines({"[Plotter]",
                                      "First=0",
                                      "URL=0",
                                      "ServerIP=0",
                                      "Stop=1",
                                      "Restart=0",
                                      "Points=400",
                                      "Max=800",
                                      "Bytes=0",
                                      "KB=1",
                                      "Peak=1",
                                      "Avg=0",
                                      "Auto=1",
                                      "btn3D=0",
                                      "Default=1",
                                      "Line=0",
                                      "Area=1",
                                      "Steps=0",
                                      "Ramp=1",
                                      "Run=0",
                                      "Folder=programs/flowloom",
                                      "Capture=0",
                                      "Label=KBytes / sec",
                                      "Title=Bandwidth^graph^of^",
                                      "Pages=50",
                                      "Minimize=0",
                                      "Web=0",
                                      "Temp=flowloom.jpg",
                                      "Lower=0",
                                      "Auth=0",
                                      "User=",
                                      "Pass=",
                                      "Port=80",
                                      "Border=clBlack",
                                      "Plot=clLime",
                                      "PlotUp=clYellow",
                                      "Back=clBlack",
                                      "Height=300",
                                      "Width=500",
                                      "HTTP=1",
                                      "Cap=1",
                                      "Clip=1",
                                      "Print=1",
                                      "rbPercent=1",
                                      "rbPixels=0",
                                      "spPercent=100",
                                      "Left=clWhite",
                                      "Grid=clGray",
                                      "Colour=clWhite",
                                      "FontName=Arial",
                                      "FontSize=10",
                                      "FontStyle=0",
                                      "Append=1",
                                      "JPG=1",
                                      "GIF=0",
                                      "BMP=0",
                                      "PNG=0",
                                      "Gray=0",
                                      "Vertical=0",
                                      "Horizontal=1",
                                      "Stay=0",
                                      "LastTotalIn0=0",
                                      "LastInReset0=06/12/2026 19:44:03",
                                      "LastTotalOut0=0",
                                      "LastOutReset0=06/12/2026 19:44:03",
                                      "DoPlot=1",
                                      "DoPlotUp=1",
                                      "CSV=0",
                                      "Format=1",
                                      "Image=0",
                                      "WebStats=netstats.txt",
                                      "Formatt=formatted.txt",
                                      "Imaget=netstats.jpg",
                                      "WebColour=clBlack",
                                      "WebSize=10",
                                      "WebStyle=0",
                                      "WebName=Arial",
                                      "Alpha=255",
                                      "StartMin=0",
                                      "Month=0",
                                      "Time=19/02/2008 00:01:00",
                                      "Reset=0",
                                      "DataCap=0",
                                      "CapSize=50",
                                      "CapUnit=1",
                                      "CapCounts=0",
                                      "CapShare=80",
                                      "History=0",
                                      "HistoryName=history.csv",
                                      "CapScope=0",
                                      "AutoStart=0",
                                      "Fit=0",
                                      "Kbits=0",
                                      "Mbits=0",
                                      "Metrics=0",
                                      "JsonApi=0",
                                      "AppTraffic=1",
                                      "LivePage=1"}));
    EXPECT_FALSE(SettingsFile::load(path, kRuntime).boolean(Key::First));
}

TEST(SettingsFile, AFileOfAnEarlierVersionReadsAsBeforeAndGainsTheNewKeysAtItsEnd)
{
    TempFolder folder;
    const auto path = folder / "flowloom.ini";
    const std::string earlier = "[Plotter]\r\nReset=1\r\nMonth=28\r\nCSV=1\r\n[Other]\r\nx=1\r\n";
    writeBytes(path, earlier);
    const SettingsValues loaded = SettingsFile::load(path, kRuntime);
    EXPECT_TRUE(loaded.boolean(Key::Reset));
    EXPECT_EQ(loaded.integer(Key::Month), 28);
    EXPECT_TRUE(loaded.boolean(Key::CSV));
    EXPECT_FALSE(loaded.boolean(Key::DataCap)) << "the cap warning is off";
    EXPECT_FALSE(loaded.boolean(Key::History)) << "the history document is off";
    EXPECT_EQ(loaded.integer(Key::CapShare), 80);
    EXPECT_FALSE(loaded.boolean(Key::AutoStart)) << "no start at login";
    EXPECT_FALSE(loaded.boolean(Key::Fit)) << "the axis follows the peak as before";
    EXPECT_TRUE(loaded.boolean(Key::KB) && !loaded.boolean(Key::Kbits) &&
                !loaded.boolean(Key::Mbits))
        << "rates stay in bytes";
    EXPECT_FALSE(loaded.boolean(Key::Metrics)) << "no /metrics";
    EXPECT_FALSE(loaded.boolean(Key::JsonApi)) << "no JSON API";
    EXPECT_TRUE(loaded.boolean(Key::AppTraffic)) << "traffic per application is on";
    EXPECT_TRUE(loaded.boolean(Key::LivePage)) << "the live page is served";

    ASSERT_TRUE(SettingsFile::save(path, loaded, {}).ok());
    const std::string saved = readBytes(path);
    EXPECT_EQ(saved.find("[Plotter]\r\nReset=1\r\nMonth=28\r\nCSV=1\r\n"), 0u)
        << "keys that were there stay where they were";
    EXPECT_NE(saved.find("HistoryName=history.csv\r\nCapScope=0\r\nAutoStart=0\r\nFit=0\r\nKbits="
                         "0\r\nMbits=0\r\nMetrics=0\r\nJsonApi=0\r\nAppTraffic=1\r\nLivePage=1\r\n["
                         "Other]\r\nx=1\r\n"),
              std::string::npos)
        << "the new keys end the section";
}

TEST(SettingsFile, AResetTimeMoreThanADayAheadReadsAsMissing)
{
    // kNow is 06/12/2026 19:44:03; a day later is 07/12/2026 19:44:03.
    struct Case
    {
        const char* stored;
        DateTime read;
    };
    const Case cases[] = {
        {"01/12/2026 00:01:00", DateTime{2026, 12, 1, 0, 1, 0}},
        {"07/12/2026 19:44:03", DateTime{2026, 12, 7, 19, 44, 3}}, // exactly a day ahead
        {"07/12/2026 19:44:04", kNow},
        {"15/06/2031 08:00:00", kNow},
        {"01/01/9999 23:59:59", kNow},
        {"not a time", kNow},
    };
    for (const Case& c : cases) {
        const std::string file =
            lines({"[Plotter]", "LastTotalIn0=5", std::string("LastInReset0=") + c.stored,
                   "LastTotalOut0=6", std::string("LastOutReset0=") + c.stored});
        const auto totals = SettingsFile::readTotals(IniStore::parse(file), 1, kNow);
        ASSERT_EQ(totals.size(), 1u);
        EXPECT_EQ(totals[0], (InterfaceTotals{5, c.read, 6, c.read})) << c.stored;
    }
}

TEST(SettingsFile, LiesBesideTheProgramWithTheExtensionIni)
{
    EXPECT_EQ(SettingsFile::pathForProgram("bin/flowloom"), "bin/flowloom.ini");
    EXPECT_EQ(SettingsFile::pathForProgram("bin/flowloom.exe"), "bin/flowloom.ini");
    EXPECT_EQ(SettingsFile::pathForProgram("my.tools/flowloom"), "my.tools/flowloom.ini");
}

TEST(SettingsFile, StoredTextsConvertOrFallBackToTheDefault)
{
    const SettingsValues v =
        loadText(lines({"[plotter]",
                        "points=0x1F", // any case
                        "Auto=2", "Append=yes", "Capture=abc", "Plot=CLLIME", "PlotUp=$00FF8000",
                        "Back=no such colour", "Max=-50", "Pages=300", "Alpha=0", "Month=40",
                        "URL=-1", "Title=My^own^title", "Time=01/01/2020 23:30:00", "FontStyle=3",
                        "Port=", "Folder=  captures  "}));
    EXPECT_EQ(v.integer(Key::Points), 31);
    EXPECT_TRUE(v.boolean(Key::Auto));
    EXPECT_TRUE(v.boolean(Key::Append)); // "yes" is unreadable: the default, true
    EXPECT_FALSE(v.boolean(Key::Capture));
    EXPECT_EQ(v.colour(Key::Plot), 0x0000FF00u);
    EXPECT_EQ(v.colour(Key::PlotUp), 0x00FF8000u);
    EXPECT_EQ(v.colour(Key::Back), 0x00000000u); // unconvertible: clBlack, the default
    EXPECT_EQ(v.integer(Key::Max), -50);
    EXPECT_EQ(v.integer(Key::Port), 80);
    EXPECT_EQ(v.text(Key::Folder), "captures");
    EXPECT_EQ(v.text(Key::Title), "My own title");
    EXPECT_EQ(v.fontStyle(Key::FontStyle), 3);
    // Only the time of day reaches the picker, which keeps its own date.
    EXPECT_EQ(v.dateTime(Key::Time), (DateTime{2008, 2, 19, 23, 30, 0}));

    // What the controls then show.
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Pages, v.integer(Key::Pages)), 255);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Alpha, v.integer(Key::Alpha)), 80);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Max, v.integer(Key::Max)), -50);
    EXPECT_EQ(SettingsKeys::listSelection(v.integer(Key::Month), 29), -1);
    EXPECT_EQ(SettingsKeys::listSelection(v.integer(Key::URL), 3), -1);

    EXPECT_EQ(loadText(lines({"[Plotter]", "Points=abc"})).integer(Key::Points), 400);
    EXPECT_EQ(loadText(lines({"[Plotter]", "Points=5"})).integer(Key::Points), 5);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Points, 5), 10);
    EXPECT_EQ(loadText(lines({"[Plotter]", "Time=garbage"})).dateTime(Key::Time),
              (DateTime{2008, 2, 19, 0, 1, 0}));
    EXPECT_EQ(
        loadText(lines({"[Plotter]", "Line=1", "Area=1"})).checkedButton(RadioGroup::SeriesType),
        Key::Area);
    EXPECT_EQ(
        loadText(lines({"[Plotter]", "Line=0", "Area=0"})).checkedButton(RadioGroup::SeriesType),
        std::nullopt);
    EXPECT_EQ(loadText(lines({"[Plotter]", "JPG=1", "PNG=1"})).checkedButton(RadioGroup::ImageType),
              Key::PNG);
    // Keys of another section are not settings.
    EXPECT_EQ(loadText(lines({"[Other]", "Points=20"})).integer(Key::Points), 400);
}

TEST(SettingsFile, PasswordsAndColoursAreWrittenInTheirStoredForms)
{
    TempFolder folder;
    const auto path = folder / "flowloom.ini";
    SettingsValues values = SettingsValues::defaults(kRuntime);
    values.set(Key::Plot, Colour{0x00FF8000}); // red 0, green 128, blue 255
    // "pässwörd" in UTF-8; its complement bytes are not valid UTF-8.
    const std::string password = "p\xC3\xA4sswrd\xC3\xB6";
    values.set(Key::Pass, password);
    ASSERT_TRUE(SettingsFile::save(path, values, {}).ok());

    const std::string file = readBytes(path);
    EXPECT_NE(file.find("\r\nPlot=$00FF8000\r\n"), std::string::npos);
    std::string scrambled;
    for (const char c : password)
        scrambled += static_cast<char>(255 - static_cast<unsigned char>(c));
    EXPECT_NE(file.find("\r\nPass=" + scrambled + "\r\n"), std::string::npos);
    EXPECT_EQ(file.find("LastTotalIn"), std::string::npos); // no rows, no row keys

    const SettingsValues loaded = SettingsFile::load(path, kRuntime);
    EXPECT_EQ(loaded.text(Key::Pass), password);
    EXPECT_EQ(loaded.colour(Key::Plot), 0x00FF8000u);

    // Every byte but those whose complement ends a line or the value (CR,
    // LF, NUL), with the complement of a blank kept off the ends.
    std::string allBytes = "a";
    for (int c = 0; c < 256; ++c) {
        if (c != 0xF2 && c != 0xF5 && c != 0xFF)
            allBytes += static_cast<char>(c);
    }
    allBytes += "z";
    values.set(Key::Pass, allBytes);
    ASSERT_TRUE(SettingsFile::save(path, values, {}).ok());
    EXPECT_EQ(SettingsFile::load(path, kRuntime).text(Key::Pass), allBytes);

    // The store's limits: a complemented line break ends the value, and a
    // complemented blank at either end is trimmed.
    values.set(Key::Pass, "ab\xF2"
                          "cd");
    ASSERT_TRUE(SettingsFile::save(path, values, {}).ok());
    EXPECT_EQ(SettingsFile::load(path, kRuntime).text(Key::Pass), "ab");
    values.set(Key::Pass, "\xDF"
                          "ab\xDF");
    ASSERT_TRUE(SettingsFile::save(path, values, {}).ok());
    EXPECT_EQ(SettingsFile::load(path, kRuntime).text(Key::Pass), "ab");

    values.set(Key::Pass, std::string());
    ASSERT_TRUE(SettingsFile::save(path, values, {}).ok());
    EXPECT_NE(readBytes(path).find("\r\nPass=\r\nPort="), std::string::npos);
    EXPECT_EQ(SettingsFile::load(path, kRuntime).text(Key::Pass), "");
}

TEST(SettingsFile, AFileHoldingAPasswordIsReadableByTheUserAlone)
{
    TempFolder folder;
    const auto modeOf = [](const std::filesystem::path& path) {
        struct stat st
        {
        };
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777u;
    };
    SettingsValues values = SettingsValues::defaults(kRuntime);

    // An existing file without a password keeps its mode.
    const auto plain = folder / "plain.ini";
    writeBytes(plain, lines({"[Plotter]", "Points=123"}));
    ASSERT_EQ(::chmod(plain.c_str(), 0640), 0);
    ASSERT_TRUE(SettingsFile::save(plain, values, {}).ok());
    EXPECT_EQ(modeOf(plain), 0640u);

    // The same file once it holds a password: group and others read no more.
    values.set(Key::Pass, std::string("secret"));
    ASSERT_TRUE(SettingsFile::save(plain, values, {}).ok());
    EXPECT_EQ(modeOf(plain), 0600u);

    // A new file, with or without a password.
    ASSERT_TRUE(SettingsFile::save(folder / "new.ini", values, {}).ok());
    EXPECT_EQ(modeOf(folder / "new.ini"), 0600u);
    values.set(Key::Pass, std::string());
    ASSERT_TRUE(SettingsFile::save(folder / "empty.ini", values, {}).ok());
    EXPECT_EQ(modeOf(folder / "empty.ini"), 0600u);
}

TEST(SettingsFile, EveryKeyRoundTrips)
{
    TempFolder folder;
    const auto path = folder / "flowloom.ini";
    // A value unlike the default for every key.
    SettingsValues values = SettingsValues::defaults(kRuntime);
    for (const auto& e : SettingsKeys::table()) {
        const int n = static_cast<int>(flowloom::app::keyIndex(e.key));
        switch (e.type) {
        case ValueType::Bool:
            values.set(e.key, !values.boolean(e.key));
            break;
        case ValueType::Int:
            values.set(e.key, std::int64_t{-1000 - n});
            break;
        case ValueType::Text:
            values.set(e.key, "text " + std::to_string(n) + " \xE2\x98\x83 = [x]");
            break;
        case ValueType::TitleText:
            values.set(e.key, std::string("Traffic of "));
            break;
        case ValueType::ScrambledText:
            values.set(e.key, std::string("s\xC3\xA9same ouvre-toi"));
            break;
        case ValueType::Colour:
            values.set(e.key, Colour(n % 2 ? 0x00123400u + n : 0xFF000000u + n % 31));
            break;
        case ValueType::FontStyle:
            values.set(e.key, FontStyleBits{n % 15 + 1});
            break;
        case ValueType::DateTime:
            values.set(e.key, DateTime{2008, 2, 19, 23, 59, n % 60});
            break;
        }
    }
    const std::vector<InterfaceTotals> totals = {
        {(std::int64_t{1} << 31) + 5, DateTime{2024, 2, 29, 0, 0, 0}, (std::int64_t{1} << 32) + 7,
         DateTime{2025, 1, 31, 12, 0, 1}},
        {0, DateTime{2000, 1, 1, 1, 2, 3}, INT64_MAX, DateTime{1999, 12, 31, 23, 59, 59}}};

    ASSERT_TRUE(SettingsFile::save(path, values, totals).ok());
    SettingsValues loaded = SettingsFile::load(path, kRuntime);
    EXPECT_FALSE(loaded.boolean(Key::First)); // always written as 0
    loaded.set(Key::First, values.boolean(Key::First));
    for (const auto& e : SettingsKeys::table())
        EXPECT_EQ(loaded.get(e.key), values.get(e.key)) << e.name;
    EXPECT_EQ(SettingsFile::loadTotals(path, 2, kNow), totals);

    // A second save of what was loaded changes no byte.
    const std::string first = readBytes(path);
    ASSERT_TRUE(SettingsFile::save(path, loaded, SettingsFile::loadTotals(path, 2, kNow)).ok());
    EXPECT_EQ(readBytes(path), first);
}

TEST(SettingsFile, RowsAndKeysTheProgramDoesNotUseSurvive)
{
    TempFolder folder;
    const auto path = folder / "flowloom.ini";
    writeBytes(path, lines({"; hand-written", "[Other]", "foo=bar", "[Plotter]", "Mystery=42",
                            "points=123", "LastTotalIn0=2147483647", "LastInReset0=garbage",
                            "LastTotalOut0=-5", "[Tail]", "x=y"}));
    const auto fromOldFile = SettingsFile::loadTotals(path, 2, kNow);
    ASSERT_EQ(fromOldFile.size(), 2u);
    // An old file's negative total is its 32-bit total that wrapped.
    EXPECT_EQ(fromOldFile[0], (InterfaceTotals{2147483647, kNow, 4'294'967'291u, kNow}));
    EXPECT_EQ(fromOldFile[1], (InterfaceTotals{0, kNow, 0, kNow}));

    // Three rows written ...
    SettingsValues values = SettingsFile::load(path, kRuntime);
    EXPECT_EQ(values.integer(Key::Points), 123);
    std::vector<InterfaceTotals> three = {
        {1, kNow, 2, kNow}, {3, kNow, 4, kNow}, {5, DateTime{2020, 5, 6}, 6, DateTime{2021, 7, 8}}};
    ASSERT_TRUE(SettingsFile::save(path, values, three).ok());
    // ... then two read and written back.
    std::vector<InterfaceTotals> two = SettingsFile::loadTotals(path, 2, kNow);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1], three[1]);
    two[0].totalIn = 99;
    ASSERT_TRUE(SettingsFile::save(path, values, two).ok());

    const std::string file = readBytes(path);
    for (const char* kept :
         {"; hand-written\r\n[Other]\r\nfoo=bar\r\n[Plotter]\r\nMystery=42\r\n"
          "points=123\r\n",
          "\r\nLastTotalIn0=99\r\n", "\r\nLastTotalIn2=5\r\n", "\r\nLastInReset2=06/05/2020\r\n",
          "\r\nLastTotalOut2=6\r\n", "\r\nLastOutReset2=08/07/2021\r\n", "\r\n[Tail]\r\nx=y\r\n"}) {
        EXPECT_NE(file.find(kept), std::string::npos) << kept;
    }
    EXPECT_EQ(SettingsFile::loadTotals(path, 3, kNow)[2], three[2]);
}

TEST(SettingsFile, AFailedSaveReportsTheFullPathAndKeepsTheOldFile)
{
    TempFolder folder;
    // The folder is a file: nothing can be created in it, not even by root.
    writeBytes(folder / "notafolder", "x");
    const auto result = SettingsFile::save(folder / "notafolder" / "flowloom.ini",
                                           SettingsValues::defaults(kRuntime), {});
    EXPECT_EQ(result.status, IniSave::Failed);
    EXPECT_EQ(result.message,
              "Unable to write to " + (folder.path() / "notafolder" / "flowloom.ini").string());

    // An old file, and a disk that takes fewer bytes than the new one needs.
    const auto path = folder / "flowloom.ini";
    const std::string old = lines({"[Plotter]", "Points=123", "Unknown=\xFF\xFE"});
    writeBytes(path, old);
    {
        FileSizeLimit limit(200);
        const auto full = SettingsFile::save(path, SettingsValues::defaults(kRuntime), {});
        EXPECT_EQ(full.status, IniSave::Failed);
        EXPECT_EQ(full.message, "Unable to write to " + path.string());
    }
    EXPECT_EQ(readBytes(path), old);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++entries;
    EXPECT_EQ(entries, 2u); // the old file and "notafolder": no temporary file left
}

TEST(SettingsFile, RandomFilesAlwaysGiveValuesOfTheKeysOwnKinds)
{
    const std::string alphabet = "[]=^$x0123456789-PlotterPointsTimeAlpha/: \r\n\xFF";
    std::mt19937 random(400);
    for (int round = 0; round < 500; ++round) {
        std::string bytes = "[Plotter]\n";
        const std::size_t size = random() % 400;
        for (std::size_t i = 0; i < size; ++i)
            bytes += alphabet[random() % alphabet.size()];
        const IniStore store = IniStore::parse(bytes);
        const SettingsValues values = SettingsFile::read(store, kRuntime);
        for (const auto& e : SettingsKeys::table()) {
            ASSERT_EQ(values.get(e.key).index(), SettingsValues::alternativeFor(e.type));
        }
        const DateTime t = values.dateTime(Key::Time);
        EXPECT_EQ((DateTime{t.year, t.month, t.day}), (DateTime{2008, 2, 19}));
        for (const InterfaceTotals& row : SettingsFile::readTotals(store, 3, kNow)) {
            EXPECT_TRUE(flowloom::sampling::isValid(row.inReset));
            EXPECT_TRUE(flowloom::sampling::isValid(row.outReset));
        }
    }
}
