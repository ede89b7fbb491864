// The JSON API's documents and rules, read back with Qt's JSON parser: the
// query of history.json, escaping of names from the system, ISO 8601 moments.
#include "web/documents/ApiDocuments.h"
#include "web/documents/TextForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <tuple>

namespace flowloom::web {
namespace {

QJsonObject parsed(const std::string& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in " << text;
    return document.object();
}

TEST(ApiDocuments, NamesFromTheSystemSurviveAStandardParser)
{
    // Every control character, quotes, backslashes, non-ASCII and a byte that is not UTF-8.
    std::string hostile = "a\"b\\c/d\te\rf\x7f";
    for (char c = 1; c < 0x20; ++c)
        hostile += c;
    hostile += "\xc3\xbc\xff";
    Figures figures;
    figures.version = "2.0";
    figures.time = 951782400; // 2000-02-29 00:00:00 UTC: 11016 days after 1970-01-01
    figures.interfaces = {{hostile, "02-00-00-00-00-01", true, 1, 2}};
    figures.selected = 0;
    figures.received = {10, 20, 15, 1000, 5000, 0};
    figures.sent = {1, 2, 3, 4, 5, 86399};
    const QJsonObject summary = parsed(summaryJson(figures));
    std::string expected = hostile.substr(0, hostile.size() - 1) + "\xEF\xBF\xBD";
    EXPECT_EQ(summary["interface"].toObject()["name"].toString().toStdString(), expected);
    EXPECT_EQ(summary["time"].toString(), "2000-02-29T00:00:00Z");
    EXPECT_EQ(summary["received"].toObject()["peak_bytes_per_second"].toDouble(), 20);
    EXPECT_EQ(summary["sent"].toObject()["cumulative_since"].toString(), "1970-01-01T23:59:59Z");
    EXPECT_TRUE(summary["period"].isNull()) << "no history kept";
    EXPECT_TRUE(summary["cap"].isNull()) << "no cap";

    HistoryQuery query;
    query.interface = hostile;
    const QJsonObject history =
        parsed(historyJson("2.0", query, "", {{"2026-12-01", 5, 6}, {"2026-12-02", 7, 8}}));
    EXPECT_EQ(history["interface"].toString().toStdString(), expected);
    EXPECT_EQ(history["rows"].toArray().size(), 2);
    EXPECT_EQ(history["rows"].toArray()[1].toObject()["sent_bytes"].toDouble(), 8);
}

TEST(ApiDocuments, ThePeriodAndTheCapHaveOneFormEverywhere)
{
    const PeriodFigures period{":physical", 1796083200, 1798761600, 100, 50, 300, 150};
    const CapFigures cap{1000, "download", 250, 750, 80};
    const QJsonObject alone = parsed(periodJson("3", period, cap));
    EXPECT_EQ(alone["period"].toObject()["start"].toString(), "2026-12-01T00:00:00Z");
    EXPECT_EQ(alone["period"].toObject()["end"].toString(), "2027-01-01T00:00:00Z");
    EXPECT_EQ(alone["period"].toObject()["projected_received_bytes"].toDouble(), 300);
    EXPECT_EQ(alone["cap"].toObject()["used_ratio"].toDouble(), 0.25);
    EXPECT_EQ(alone["cap"].toObject()["warning_percent"].toDouble(), 80);

    Figures figures;
    figures.period = period;
    figures.cap = cap;
    const QJsonObject summary = parsed(summaryJson(figures));
    EXPECT_EQ(summary["period"], alone["period"]);
    EXPECT_EQ(summary["cap"], alone["cap"]);
    EXPECT_TRUE(summary["interface"].isNull()) << "none selected";
}

TEST(ApiDocuments, ApplicationsKeepTheirScopesApartWithOtherLastAndNamesIntact)
{
    const std::string hostile = "say \"hi\"\\\n\x01\xff";
    ApplicationsFigures figures;
    figures.periodFirstDay = "2026-12-01";
    figures.internet = {
        Figures::kPhysicalSum,
        {{hostile, "process", 1, 2, 3, 4}, {"Other (UDP and unattributed)", "", 5, 6, 7, 8}}};
    figures.loopback = {Figures::kLoopbackSum, {{"uid 33", "user", 9, 10, 11, 12}}};
    const QJsonObject document = parsed(applicationsJson("2.0", 951782400, figures));
    EXPECT_EQ(document["time"].toString(), "2000-02-29T00:00:00Z");
    EXPECT_EQ(document["period_first_day"].toString(), "2026-12-01");
    const QJsonObject internet = document["internet"].toObject();
    EXPECT_EQ(internet["interface"].toString(), ":physical");
    const QJsonArray rows = internet["applications"].toArray();
    ASSERT_EQ(rows.size(), 2);
    // The byte that is not UTF-8 becomes U+FFFD; the rest comes back as it was.
    EXPECT_EQ(rows[0].toObject()["name"].toString().toStdString(),
              hostile.substr(0, hostile.size() - 1) + "\xEF\xBF\xBD");
    EXPECT_EQ(rows[0].toObject()["identified_by"].toString(), "process");
    EXPECT_TRUE(rows[1].toObject()["identified_by"].isNull()) << "the Other row";
    const char* members[] = {"today_received_bytes", "today_sent_bytes", "period_received_bytes",
                             "period_sent_bytes"};
    for (int m = 0; m < 4; ++m) {
        EXPECT_EQ(rows[1].toObject()[members[m]].toDouble(), 5 + m) << members[m];
        EXPECT_EQ(document["loopback"]
                      .toObject()["applications"]
                      .toArray()[0]
                      .toObject()[members[m]]
                      .toDouble(),
                  9 + m)
            << members[m];
    }
    EXPECT_EQ(document["loopback"].toObject()["interface"].toString(), ":loopback");
}

TEST(ApiDocuments, HistoryQueriesAreReadOrRefusedWithAReason)
{
    struct Case
    {
        const char* query;
        const char* error; // empty when accepted
        Granularity granularity = Granularity::Day;
        const char* firstDay = "0000-01-01";
        const char* lastDay = "9999-12-31";
    };
    const Case cases[] = {
        {"interface=eth0", ""},
        {"interface=eth%200&granularity=day&from=2024-02-29&to=2024-03-01", "", Granularity::Day,
         "2024-02-29", "2024-03-01"},
        {"interface=eth0&granularity=month&from=2026-01&to=2026-12", "", Granularity::Month,
         "2026-01-01", "2026-12-31"},
        {"from=2026-01-01&interface=a+b&", "", Granularity::Day, "2026-01-01"},
        {"interface=eth0&from=&to=", ""},
        {"", "parameter 'interface' is missing"},
        {"interface=", "parameter 'interface' is missing"},
        {"interface=a&interface=b", "parameter 'interface' given twice"},
        {"interface=a&color=red", "unknown parameter 'color'"},
        {"interface=a&co%0Alo%00r=red", "unknown parameter 'co?lor'"}, // a reason is one line
        {"interface=a&granularity=week", "granularity must be 'day' or 'month'"},
        {"interface=a&from=2023-02-29", "parameter 'from' must be a date yyyy-mm-dd"},
        {"interface=a&to=2026-12", "parameter 'to' must be a date yyyy-mm-dd"},
        {"interface=a&granularity=month&from=2026-13", "parameter 'from' must be a month yyyy-mm"},
        {"interface=a&granularity=month&to=2026-12-01", "parameter 'to' must be a month yyyy-mm"},
        {"interface=a&from=2026-12-02&to=2026-12-01", "'from' is after 'to'"},
    };
    for (const Case& c : cases) {
        const auto result = parseHistoryQuery(c.query);
        if (*c.error != '\0') {
            ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.query;
            EXPECT_EQ(std::get<std::string>(result), c.error) << c.query;
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<HistoryQuery>(result))
            << c.query << ": " << std::get<std::string>(result);
        const HistoryQuery& q = std::get<HistoryQuery>(result);
        EXPECT_EQ(q.granularity, c.granularity) << c.query;
        EXPECT_EQ(q.firstDay(), c.firstDay) << c.query;
        EXPECT_EQ(q.lastDay(), c.lastDay) << c.query;
    }
    EXPECT_EQ(std::get<HistoryQuery>(parseHistoryQuery("interface=eth%200")).interface, "eth 0");
    EXPECT_EQ(std::get<HistoryQuery>(parseHistoryQuery("interface=a+b")).interface, "a b");
}

TEST(ApiDocuments, MonthsAddUpTheirDays)
{
    const std::vector<HistoryRow> days = {{"2026-11-30", 1, 2},
                                          {"2026-12-01", 10, 20},
                                          {"2026-12-31", 100, 200},
                                          {"2027-01-01", UINT64_MAX, 1},
                                          {"2027-01-02", 5, 1}};
    const std::vector<HistoryRow> expected = {
        {"2026-11", 1, 2}, {"2026-12", 110, 220}, {"2027-01", UINT64_MAX, 2}};
    EXPECT_EQ(monthsOf(days), expected);
    EXPECT_TRUE(monthsOf({}).empty());
}

TEST(TextForms, InvalidUtf8BecomesReplacementCharacters)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"\xc3\xbc", "\xc3\xbc"},                                                 // U+00FC
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},                                 // U+1F600
        {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                 // overlong "/"
        {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                 // a surrogate
        {"\xf4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // > U+10FFFF
        {"a\xe2\x82", "a\xEF\xBF\xBD\xEF\xBF\xBD"},                               // cut short
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(validUtf8(in), out);
}

TEST(TextForms, InstantsAreIso8601InUtc)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {951782400, "2000-02-29T00:00:00Z"}, // 11016 days
        {951782400 + 86400, "2000-03-01T00:00:00Z"},
        {4102444800, "2100-01-01T00:00:00Z"},                         // 47482 days
        {1796083200 + 3 * 3600 + 4 * 60 + 5, "2026-12-01T03:04:05Z"}, // 20788 days
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(isoInstant(seconds), text) << seconds;
}

} // namespace
} // namespace flowloom::web
