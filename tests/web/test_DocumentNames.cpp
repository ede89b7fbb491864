#include "web/documents/DocumentNames.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

namespace {

// Start-up state: every field shows its default name and remembers it.
const NameFields kDefaults{"netstats.txt", "formatted.txt", "netstats.jpg", "flowloom.jpg"};

} // namespace

TEST(DocumentNames, ExtensionIsTheTailFromTheLastDotOutsideFolders)
{
    EXPECT_EQ(DocumentNames::replaceExtension("stats", ".txt"), "stats.txt");
    EXPECT_EQ(DocumentNames::replaceExtension("abc", ".txt"), "abc.txt");
    EXPECT_EQ(DocumentNames::replaceExtension("", ".txt"), ".txt");
    EXPECT_EQ(DocumentNames::replaceExtension("a.b.jpg", ".gif"), "a.b.gif");
    EXPECT_EQ(DocumentNames::replaceExtension(".jpg", ".png"), ".png");
    EXPECT_EQ(DocumentNames::replaceExtension("name.", ".txt"), "name.txt");
    // A "." before "\" or ":" belongs to a folder or drive: append instead.
    EXPECT_EQ(DocumentNames::replaceExtension("dir.x\\name", ".txt"), "dir.x\\name.txt");
    EXPECT_EQ(DocumentNames::replaceExtension("1.2.3.4:80/name", ".gif"), "1.2.3.4:80/name.gif");
    // An empty extension removes the old one.
    EXPECT_EQ(DocumentNames::replaceExtension("flowloom.jpg", ""), "flowloom");

    EXPECT_EQ(DocumentNames::extension("Flowloom.JPG"), ".JPG");
    EXPECT_EQ(DocumentNames::extension("flowloom"), "");
    EXPECT_EQ(DocumentNames::extension("a.b\\c"), "");
}

TEST(DocumentNames, UrlsAreBuiltFromTheServerAddress)
{
    const std::string address = DocumentNames::serverAddress("192.168.0.10", 80);
    EXPECT_EQ(address, "192.168.0.10:80");
    EXPECT_EQ(DocumentNames::url(address, "netstats.txt"), "http://192.168.0.10:80/netstats.txt");
}

TEST(DocumentNames, CommaSeparatedNameGetsTxtUnlessItMeetsTheFormattedName)
{
    NameFields typed = kDefaults;
    typed.edWebStats = "stats";
    NameDecision accepted = DocumentNames::cbCSVClick(typed, kDefaults, true);
    EXPECT_EQ(accepted.outcome, NameOutcome::Accepted);
    EXPECT_EQ(accepted.fields.edWebStats, "stats.txt");
    EXPECT_EQ(accepted.fields.edFormat, "formatted.txt");
    EXPECT_EQ(accepted.label12Name, "stats.txt");
    EXPECT_EQ(accepted.webFontEnabled, true);
    EXPECT_TRUE(accepted.message.empty());
    EXPECT_EQ(DocumentNames::cbCSVClick(typed, kDefaults, false).webFontEnabled, false);

    // "formatted" becomes "formatted.txt" first, then clashes like the full name.
    for (const char* clashing : {"formatted.txt", "formatted", "formatted.csv"}) {
        typed.edWebStats = clashing;
        NameFields remembered = kDefaults;
        remembered.edWebStats = "older.txt";
        const NameDecision refused = DocumentNames::cbCSVClick(typed, remembered, true);
        EXPECT_EQ(refused.outcome, NameOutcome::Clash) << clashing;
        EXPECT_EQ(refused.message, "The 'Comma separated text' filename cannot be the same as the"
                                   "\r\n'Formatted text' filename.");
        EXPECT_EQ(refused.fields.edWebStats, "older.txt");
        EXPECT_EQ(refused.fields.edFormat, "formatted.txt");
        EXPECT_FALSE(refused.label12Name.has_value());
        EXPECT_FALSE(refused.webFontEnabled.has_value());
    }
}

TEST(DocumentNames, FormattedNameGetsTxtUnlessItMeetsTheCommaSeparatedName)
{
    NameFields typed = kDefaults;
    typed.edFormat = "report";
    const NameDecision accepted = DocumentNames::edFormatExit(typed, kDefaults);
    EXPECT_EQ(accepted.outcome, NameOutcome::Accepted);
    EXPECT_EQ(accepted.fields.edFormat, "report.txt");
    EXPECT_EQ(accepted.label12Name, "report.txt");

    typed.edFormat = "netstats.jpg";
    const NameDecision refused = DocumentNames::edFormatExit(typed, kDefaults);
    EXPECT_EQ(refused.outcome, NameOutcome::Clash);
    EXPECT_EQ(refused.message, "The 'Formatted text' filename cannot be the same as the\r\n"
                               "'Comma separated text' filename.");
    EXPECT_EQ(refused.fields.edFormat, "formatted.txt");
    EXPECT_EQ(refused.fields.edWebStats, "netstats.txt");
}

TEST(DocumentNames, StatisticsImageNameFollowsTheImageTypeOnlyWhilePublished)
{
    NameFields typed = kDefaults;
    typed.edImage = "picture";
    const NameDecision ticked = DocumentNames::edImageExit(typed, kDefaults, true, ".png");
    EXPECT_EQ(ticked.outcome, NameOutcome::Accepted);
    EXPECT_EQ(ticked.fields.edImage, "picture.png");
    EXPECT_EQ(ticked.label12Name, "picture.png");
    EXPECT_EQ(ticked.webFontEnabled, true);

    const NameDecision unticked = DocumentNames::edImageExit(typed, kDefaults, false, ".png");
    EXPECT_EQ(unticked.fields.edImage, "picture");
    EXPECT_EQ(unticked.webFontEnabled, false);

    // "flowloom" with the JPEG extension is the graph image's name.
    typed.edImage = "flowloom";
    const NameDecision refused = DocumentNames::edImageExit(typed, kDefaults, true, ".jpg");
    EXPECT_EQ(refused.outcome, NameOutcome::Clash);
    EXPECT_EQ(refused.message,
              "The stats image cannot have the same filename as the Web graph image!");
    EXPECT_EQ(refused.fields.edImage, "netstats.jpg");
}

TEST(DocumentNames, ChoosingGifRenamesBothImagesAndLabel2Follows)
{
    const NameDecision gif = DocumentNames::edTempExit(kDefaults, kDefaults, ".gif");
    EXPECT_EQ(gif.outcome, NameOutcome::Accepted);
    EXPECT_EQ(gif.fields.edTemp, "flowloom.gif");
    EXPECT_EQ(gif.fields.edImage, "netstats.gif");
    EXPECT_EQ(gif.fields.edWebStats, "netstats.txt");
    EXPECT_FALSE(gif.label12Name.has_value());

    const std::string label2 = "http://127.0.0.1:80/flowloom.jpg";
    EXPECT_EQ(DocumentNames::edTempChange(label2, gif.fields.edTemp),
              "http://127.0.0.1:80/flowloom.gif");
    // A retyped base name shows only at the next start; a name without an
    // extension takes the label's away, and the next one is appended again.
    EXPECT_EQ(DocumentNames::edTempChange(label2, "other.jpg"), label2);
    EXPECT_EQ(DocumentNames::edTempChange(label2, "flowlo"), "http://127.0.0.1:80/flowloom");
    EXPECT_EQ(DocumentNames::edTempChange("http://127.0.0.1:80/flowloom", "f.png"),
              "http://127.0.0.1:80/flowloom.png");
}

TEST(DocumentNames, GraphImageCannotTakeTheStatisticsImageName)
{
    // The statistics image was renamed to "graph.jpg" and accepted ...
    NameFields fields = kDefaults;
    fields.edImage = "graph";
    const NameDecision image = DocumentNames::edImageExit(fields, kDefaults, true, ".jpg");
    ASSERT_EQ(image.outcome, NameOutcome::Accepted);
    fields = image.fields;

    // ... so the graph image may not be given the same name.
    NameFields remembered = fields;
    fields.edTemp = "graph.jpg";
    const NameDecision refused = DocumentNames::edTempExit(fields, remembered, ".jpg");
    EXPECT_EQ(refused.outcome, NameOutcome::Clash);
    EXPECT_EQ(refused.message,
              "The Web graph image cannot have the same filename as the stats image!");
    EXPECT_EQ(refused.fields.edTemp, "flowloom.jpg");
    EXPECT_EQ(refused.fields.edImage, "graph.jpg");

    // Same base name, other extension: carrying the extension over would make
    // the two names equal, so this is refused too.
    fields.edImage = "graph.png";
    fields.edTemp = "graph";
    const NameDecision carried = DocumentNames::edTempExit(fields, remembered, ".jpg");
    EXPECT_EQ(carried.outcome, NameOutcome::Clash);
    EXPECT_EQ(carried.fields.edTemp, "flowloom.jpg");
    EXPECT_EQ(carried.fields.edImage, "graph.png");
}

// Label12 shows only an address that answers: the document dealt with last
// while it is ticked, else the first ticked one, else none.
TEST(DocumentNames, Label12ShowsOnlyAPublishedStatisticsDocument)
{
    using D = StatisticsDocument;
    struct Case
    {
        std::optional<D> lastDealtWith;
        StatisticsSwitches on;
        std::optional<D> shown;
    };
    const Case cases[] = {
        // The first-run state: only "Formatted text" is ticked; the
        // comma-separated document answers 404 and is not shown.
        {std::nullopt, {false, true, false}, D::Formatted},
        {D::CommaSeparated, {false, true, false}, D::Formatted},
        {D::Image, {false, true, false}, D::Formatted},
        {std::nullopt, {true, true, true}, D::CommaSeparated},
        {std::nullopt, {false, false, true}, D::Image},
        {D::Image, {true, true, true}, D::Image},
        {D::Formatted, {true, true, false}, D::Formatted},
        {D::Formatted, {true, false, true}, D::CommaSeparated},
        {std::nullopt, {false, false, false}, std::nullopt},
        {D::CommaSeparated, {false, false, false}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DocumentNames::label12Document(c.lastDealtWith, c.on), c.shown)
            << "csv " << c.on.cbCSV << " format " << c.on.cbFormat << " image " << c.on.cbImage
            << " last " << (c.lastDealtWith ? static_cast<int>(*c.lastDealtWith) : -1);
    }
    EXPECT_EQ(DocumentNames::nameOf(kDefaults, D::CommaSeparated), "netstats.txt");
    EXPECT_EQ(DocumentNames::nameOf(kDefaults, D::Formatted), "formatted.txt");
    EXPECT_EQ(DocumentNames::nameOf(kDefaults, D::Image), "netstats.jpg");
}
