// The live page's rules: what it links to, its colours, and the one
// self-contained document with its settings filled in, read back with Qt's
// JSON parser.
#include "web/documents/LivePage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace flowloom::web {
namespace {

const NameFields kDefaults{"netstats.txt", "formatted.txt", "netstats.jpg", "flowloom.jpg"};

std::vector<std::string> pathsOf(const std::vector<PublishedDocument>& documents)
{
    std::vector<std::string> paths;
    for (const PublishedDocument& d : documents)
        paths.push_back(d.path);
    return paths;
}

// The settings object the page carries in its config element.
QJsonObject configOf(const std::string& page)
{
    const std::string open = "<script id=\"config\" type=\"application/json\">";
    const std::size_t from = page.find(open);
    EXPECT_NE(from, std::string::npos);
    const std::size_t start = from + open.size();
    const std::size_t end = page.find("</script>", start);
    QJsonParseError error;
    const QJsonDocument json =
        QJsonDocument::fromJson(QByteArray::fromStdString(page.substr(start, end - start)), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return json.object();
}

TEST(LivePage, ItLinksToEveryDocumentThatAnswersAndNoOther)
{
    Publication defaults; // the first run: formatted text and the live page
    defaults.names = kDefaults;
    defaults.cbFormat = true;
    defaults.cbLivePage = true;
    EXPECT_EQ(pathsOf(publishedDocuments(defaults)),
              (std::vector<std::string>{"/flowloom.jpg", "/formatted.txt", "/api/v1/summary.json",
                                        "/api/v1/history.json"}));

    Publication all = defaults;
    all.cbCSV = all.cbImage = all.cbHistory = all.cbMetrics = all.cbJsonApi = true;
    all.edHistory = "usage.csv";
    EXPECT_EQ(
        pathsOf(publishedDocuments(all)),
        (std::vector<std::string>{"/flowloom.jpg", "/netstats.txt", "/formatted.txt",
                                  "/netstats.jpg", "/usage.csv", "/metrics", "/api/v1/summary.json",
                                  "/api/v1/history.json", "/api/v1/applications.json"}));

    // The JSON API's switch alone also publishes the data (and the
    // applications, which only it serves); with neither, the
    // graph image is all that answers.
    Publication api;
    api.names = kDefaults;
    api.cbJsonApi = true;
    EXPECT_TRUE(api.dataForPage());
    EXPECT_EQ(publishedDocuments(api).size(), 4u);
    Publication none;
    none.names = kDefaults;
    EXPECT_FALSE(none.dataForPage());
    EXPECT_EQ(pathsOf(publishedDocuments(none)), (std::vector<std::string>{"/flowloom.jpg"}));
}

TEST(LivePage, ColoursOfTheSettingsBecomeCssColours)
{
    // Settings colours are 0x00BBGGRR; CSS reads #rrggbb.
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0x0000FF00u, "#00ff00"}, // clLime
        {0x0000FFFFu, "#ffff00"}, // clYellow
        {0x00000000u, "#000000"}, {0x00FFFFFFu, "#ffffff"}, {0x00123456u, "#563412"},
        {0x000080FFu, "#ff8000"}, {0xFF0000FFu, "#ff0000"}, // the high byte is no colour
    };
    for (const auto& [colour, css] : cases)
        EXPECT_EQ(cssColour(colour), css) << std::hex << colour;
}

TEST(LivePage, TheDocumentIsSelfContainedWithTheSettingsFilledIn)
{
    const GraphColours colours{0x000080FFu, 0x00FF8000u, 0x00202020u, 0x00FFFFFFu, 0x00808080u};
    const std::vector<PublishedDocument> documents = {
        {"Graph image", "/flowloom.jpg"},
        {"Formatted text", "/</script><b>.txt"}, // a name can hold anything
    };
    const std::vector<LiveSample> recent = {{1796750000, 1000, 20}, {1796750001, 0, 5'000'000'000}};
    const std::string page = livePageDocument(colours, documents, recent);

    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
    EXPECT_LT(page.size(), 64u * 1024) << "a few tens of KB at most";
    EXPECT_EQ(page.find("/*CONFIG*/"), std::string::npos);
    // Nothing is fetched from elsewhere: no scripts, styles, fonts or images.
    for (const char* outside : {"<script src", "<link", "@import", "url(", "<img", "<iframe"})
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    // Only the SVG namespace name looks like an address.
    std::size_t at = 0;
    while ((at = page.find("http", at)) != std::string::npos) {
        EXPECT_EQ(page.compare(at, 26, "http://www.w3.org/2000/svg"), 0) << page.substr(at, 40);
        ++at;
    }
    // A name cannot close the script element that carries it.
    EXPECT_EQ(page.find("</script><b>"), std::string::npos);

    const QJsonObject config = configOf(page);
    const QJsonObject css = config["colours"].toObject();
    EXPECT_EQ(css["download"].toString(), "#ff8000");
    EXPECT_EQ(css["upload"].toString(), "#0080ff");
    EXPECT_EQ(css["background"].toString(), "#202020");
    EXPECT_EQ(css["axes"].toString(), "#ffffff");
    EXPECT_EQ(css["grid"].toString(), "#808080");
    const QJsonArray links = config["documents"].toArray();
    ASSERT_EQ(links.size(), 2);
    // Relative to the page, so that it also works behind a prefix.
    EXPECT_EQ(links[0].toObject()["path"].toString(), "flowloom.jpg");
    EXPECT_EQ(links[1].toObject()["path"].toString(), "</script><b>.txt");
    EXPECT_EQ(links[1].toObject()["label"].toString(), "Formatted text");
    const QJsonArray ticks = config["recent"].toArray();
    ASSERT_EQ(ticks.size(), 2);
    EXPECT_EQ(ticks[0].toArray()[0].toDouble(), 1796750000.0);
    EXPECT_EQ(ticks[0].toArray()[1].toDouble(), 1000.0);
    EXPECT_EQ(ticks[1].toArray()[2].toDouble(), 5e9);

    // The elements the page fills in stand in the template.
    for (const char* id :
         {"id=\"chart\"", "id=\"rx-current\"", "id=\"tx-peak\"", "id=\"rx-average\"",
          "id=\"tx-session\"", "id=\"rx-cumulative\"", "id=\"cap-used\"", "id=\"history-days\"",
          "id=\"history-months\"", "id=\"documents\"", "EventSource(", "api/v1/summary.json"})
        EXPECT_NE(page.find(id), std::string::npos) << id;
}

} // namespace
} // namespace flowloom::web
