// The /metrics document: Prometheus's own checker on a scrape of many
// interfaces with hostile names, the two exposition forms, and the choice
// between them.
#include "web/documents/MetricsDocument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace flowloom::web {
namespace {

// 64 interfaces; some names need escaping or are not UTF-8, as a scripted
// source can deliver them.
Figures manyInterfaces()
{
    Figures figures;
    figures.version = "9.8.7";
    figures.time = 1'800'000'000;
    const std::vector<std::string> hostile = {"eth\"0",      "back\\slash",          "new\nline",
                                              "bad\xff\xfe", "\xc3\xbcml\xc3\xa4ut", "sp ace"};
    for (std::size_t i = 0; i < 64; ++i) {
        InterfaceFigures row;
        row.name = i < hostile.size() ? hostile[i] : "veth" + std::to_string(i);
        row.address = i % 3 == 0 ? std::string() : "02-00-00-00-00-" + std::to_string(10 + i);
        row.present = i % 5 != 0;
        row.receivedBytes = 1000 * i;
        row.sentBytes = 7 * i;
        figures.interfaces.push_back(row);
    }
    figures.interfaces[63].receivedBytes = UINT64_MAX;
    figures.selected = 1;
    figures.received.cumulativeBytes = 123;
    figures.received.cumulativeSince = 1'700'000'000;
    figures.period = PeriodFigures{"eth\"0", 1'796'083'200, 1'798'761'600, 5, 6, 50, 60};
    figures.cap = CapFigures{1000, "both", 11, 110, 80};
    ApplicationsFigures applications;
    applications.internet.interface = Figures::kPhysicalSum;
    applications.internet.applications = {{"say \"hi\"", "process", 0, 0, 30, 3},
                                          {"back\\slash", "cgroup", 0, 0, 20, 2},
                                          {"two\nlines", "user", 0, 0, 10, 1},
                                          {"Other (UDP and unattributed)", "", 0, 0, 7, 7}};
    applications.loopback = {Figures::kLoopbackSum,
                             {{"Other (UDP and unattributed)", "", 0, 0, 0, 0}}};
    figures.applications = applications;
    return figures;
}

// `count` applications named app-01, app-02, ..., app-01 with the most bytes,
// and the Other row, in an order of their own.
ApplicationScopeFigures applicationsOf(std::size_t count, std::uint64_t otherIn,
                                       std::uint64_t otherOut)
{
    ApplicationScopeFigures scope{Figures::kPhysicalSum, {}};
    scope.applications.push_back({"Other (UDP and unattributed)", "", 0, 0, otherIn, otherOut});
    for (std::size_t i = count; i >= 1; --i) {
        const std::string name = (i < 10 ? "app-0" : "app-") + std::to_string(i);
        // app-i: (count + 1 - i) thousand bytes down, as many tens up.
        scope.applications.push_back(
            {name, "process", 0, 0, 1000 * (count + 1 - i), 10 * (count + 1 - i)});
    }
    return scope;
}

// The value of every sample of a family, by its label text.
std::map<std::string, std::uint64_t> samplesOf(const std::string& document,
                                               const std::string& sample)
{
    std::map<std::string, std::uint64_t> values;
    std::istringstream in(document);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with(sample + "{"))
            continue;
        const std::size_t space = line.rfind(' ');
        values[line.substr(sample.size(), space - sample.size())] =
            std::stoull(line.substr(space + 1));
    }
    return values;
}

struct Run
{
    int status = -1;
    std::string output;
};

// promtool's verdict on a document: its status and everything it printed.
std::optional<Run> promtool(const std::string& document)
{
    if (std::system("command -v promtool > /dev/null 2>&1") != 0)
        return std::nullopt;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("metrics-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << document;
    const std::string command = "promtool check metrics < " + file.string() + " 2>&1";
    Run run;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            run.output.append(buffer, n);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::filesystem::remove(file);
    return run;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(MetricsDocument, PrometheusFindsNothingToSayOnAScrapeOfSixtyFourInterfaces)
{
    const std::string document = metricsDocument(manyInterfaces(), MetricsFormat::Text);
    const auto run = promtool(document);
    if (!run)
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
    EXPECT_EQ(run->status, 0);
    EXPECT_EQ(run->output, "") << document;
}

TEST(MetricsDocument, FamiliesAppearOnceEachWithHelpAndTypeBeforeTheirSamples)
{
    for (const MetricsFormat format : {MetricsFormat::Text, MetricsFormat::OpenMetrics}) {
        const std::string document = metricsDocument(manyInterfaces(), format);
        std::set<std::string> families;
        std::string family;
        std::map<std::string, int> samplesOf;
        for (const std::string& line : linesOf(document)) {
            ASSERT_FALSE(line.empty()) << "no blank lines";
            if (line.starts_with("# HELP ")) {
                family = line.substr(7, line.find(' ', 7) - 7);
                EXPECT_TRUE(families.insert(family).second) << "repeated family " << family;
                EXPECT_TRUE(family.starts_with("flowloom_")) << family;
                continue;
            }
            if (line.starts_with("# TYPE ")) {
                EXPECT_EQ(line.substr(7, family.size()), family) << "TYPE right after HELP";
                continue;
            }
            if (line == "# EOF")
                continue;
            const std::string name = line.substr(0, line.find_first_of("{ "));
            EXPECT_TRUE(name.starts_with(family)) << name << " under " << family;
            ++samplesOf[name];
        }
        // Every interface has its own series: the names differ, escaped or not.
        for (const auto& [name, count] :
             {std::pair{"flowloom_interface_receive_bytes_total", 64},
              std::pair{"flowloom_interface_transmit_bytes_total", 64},
              std::pair{"flowloom_interface_present", 64}, std::pair{"flowloom_build_info", 1},
              std::pair{"flowloom_data_cap_used_ratio", 1}})
            EXPECT_EQ(samplesOf[name], count) << name;
    }
}

TEST(MetricsDocument, LabelValuesAreEscapedAndValidUtf8)
{
    const std::string document = metricsDocument(manyInterfaces(), MetricsFormat::Text);
    for (const char* fragment :
         {// Backslash, double quote and line feed are escaped; nothing else is.
          "flowloom_interface_receive_bytes_total{device=\"eth\\\"0\"} 0\n",
          "flowloom_interface_receive_bytes_total{device=\"back\\\\slash\",address=\"02-00-00-00-"
          "00-11\"} 1000\n",
          "{device=\"new\\nline\",address=\"02-00-00-00-00-12\"} 2000\n",
          // Bytes that are not UTF-8 become U+FFFD, one each.
          "{device=\"bad\xEF\xBF\xBD\xEF\xBF\xBD\"} 3000\n", "device=\"\xc3\xbcml\xc3\xa4ut\"",
          "flowloom_build_info{version=\"9.8.7\"} 1\n",
          // A counter at the top of its range as an exact integer.
          "veth63\"} 18446744073709551615\n",
          // 11 of 1000 bytes.
          "flowloom_data_cap_used_ratio{device=\"eth\\\"0\",counts=\"both\"} 0.011\n",
          "flowloom_billing_period_end_timestamp_seconds{device=\"eth\\\"0\"} 1798761600\n"})
        EXPECT_NE(document.find(fragment), std::string::npos) << fragment;
}

TEST(MetricsDocument, InterfacesWithTheSameLabelsAreOneSeries)
{
    Figures figures;
    figures.version = "1";
    figures.interfaces = {
        {"tun0", "", false, 10, 1}, {"eth0", "", true, 5, 5}, {"tun0", "", true, 32, 2}};
    const std::string document = metricsDocument(figures, MetricsFormat::Text);
    EXPECT_NE(document.find("flowloom_interface_receive_bytes_total{device=\"tun0\"} 42\n"),
              std::string::npos);
    EXPECT_NE(document.find("flowloom_interface_present{device=\"tun0\"} 1\n"), std::string::npos);
    EXPECT_EQ(document.find("device=\"tun0\"} 10"), std::string::npos);
    EXPECT_EQ(document.find("flowloom_cumulative"), std::string::npos)
        << "no selected interface, no totals";
    EXPECT_EQ(document.find("flowloom_billing"), std::string::npos) << "no history, no period";
    if (const auto run = promtool(document)) {
        EXPECT_EQ(run->output, "") << document;
    }
}

TEST(MetricsDocument, OpenMetricsNamesCounterFamiliesWithoutTotalAndEndsWithEof)
{
    const std::string document = metricsDocument(manyInterfaces(), MetricsFormat::OpenMetrics);
    EXPECT_TRUE(document.ends_with("\n# EOF\n"));
    for (const char* fragment :
         {"# TYPE flowloom_interface_receive_bytes counter\n",
          "\nflowloom_interface_receive_bytes_total{device=\"eth\\\"0\"} 0\n",
          "# TYPE flowloom_build info\nflowloom_build_info{version=\"9.8.7\"} 1\n"})
        EXPECT_NE(document.find(fragment), std::string::npos) << fragment;
    EXPECT_EQ(metricsDocument(manyInterfaces(), MetricsFormat::Text).find("# EOF"),
              std::string::npos);
}

TEST(MetricsDocument, ApplicationsAreTheTopTenOfThePeriodAndOneOtherWithTheRest)
{
    struct Case
    {
        std::size_t applications;
        std::size_t namedSeries; // the rest go to "other"
    };
    for (const Case c :
         {Case{0, 0}, Case{3, 3}, Case{10, 10}, Case{11, 10}, Case{12, 10}, Case{40, 10}}) {
        Figures figures;
        figures.applications = ApplicationsFigures{};
        figures.applications->internet = applicationsOf(c.applications, 500, 50);
        figures.applications->loopback = {Figures::kLoopbackSum, {}};
        const std::string document = metricsDocument(figures, MetricsFormat::Text);
        const auto received = samplesOf(document, "flowloom_application_receive_bytes_total");
        const auto sent = samplesOf(document, "flowloom_application_transmit_bytes_total");
        const std::string prefix = "{device=\":physical\",application=\"";
        std::uint64_t namedIn = 0;
        for (std::size_t i = 1; i <= c.applications; ++i) {
            const std::string name = (i < 10 ? "app-0" : "app-") + std::to_string(i);
            const std::string labels = prefix + name + "\",identified_by=\"process\"}";
            EXPECT_EQ(received.count(labels), i <= c.namedSeries ? 1u : 0u)
                << c.applications << " applications: " << name;
            if (i <= c.namedSeries) {
                EXPECT_EQ(received.at(labels), 1000 * (c.applications + 1 - i)) << name;
                EXPECT_EQ(sent.at(labels), 10 * (c.applications + 1 - i)) << name;
                namedIn += 1000 * (c.applications + 1 - i);
            }
        }
        // 1000 * (1 + 2 + ... + n) bytes down in all, and the unattributed 500.
        const std::uint64_t allIn = 1000 * c.applications * (c.applications + 1) / 2 + 500;
        const std::uint64_t allOut = 10 * c.applications * (c.applications + 1) / 2 + 50;
        const std::string other = prefix + "other\",identified_by=\"other\"}";
        ASSERT_EQ(received.count(other), 1u) << "always there";
        EXPECT_EQ(received.at(other), allIn - namedIn) << c.applications << " applications";
        std::uint64_t sumIn = 0, sumOut = 0;
        for (const auto& [labels, value] : received)
            sumIn += value;
        for (const auto& [labels, value] : sent)
            sumOut += value;
        EXPECT_EQ(sumIn, allIn) << "nothing lost or counted twice";
        EXPECT_EQ(sumOut, allOut);
        // Each scope: at most 10 named series and other.
        EXPECT_EQ(received.size(), c.namedSeries + 2) << "with loopback's other";
        EXPECT_EQ(received.count("{device=\":loopback\",application=\"other\",identified_by="
                                 "\"other\"}"),
                  1u);
    }
}

TEST(MetricsDocument, ApplicationNamesAreEscapedInBothForms)
{
    for (const MetricsFormat format : {MetricsFormat::Text, MetricsFormat::OpenMetrics}) {
        const std::string document = metricsDocument(manyInterfaces(), format);
        // Both forms name the samples of a counter with "_total".
        const std::string sample = "flowloom_application_receive_bytes_total";
        for (const std::string& fragment :
             {sample + "{device=\":physical\",application=\"say \\\"hi\\\"\","
                       "identified_by=\"process\"} 30\n",
              sample + "{device=\":physical\",application=\"back\\\\slash\","
                       "identified_by=\"cgroup\"} 20\n",
              sample + "{device=\":physical\",application=\"two\\nlines\","
                       "identified_by=\"user\"} 10\n",
              sample + "{device=\":physical\",application=\"other\","
                       "identified_by=\"other\"} 7\n"})
            EXPECT_NE(document.find(fragment), std::string::npos) << fragment;
        const std::string type = format == MetricsFormat::Text
                                     ? "# TYPE flowloom_application_transmit_bytes_total counter\n"
                                     : "# TYPE flowloom_application_transmit_bytes counter\n";
        EXPECT_NE(document.find(type), std::string::npos) << type;
    }
    Figures none;
    EXPECT_EQ(metricsDocument(none, MetricsFormat::Text).find("flowloom_application"),
              std::string::npos)
        << "no series while the figures carry no applications";
}

TEST(MetricsDocument, TheScraperChoosesTheForm)
{
    struct Case
    {
        const char* accept;
        MetricsFormat expected;
    };
    const Case cases[] = {
        // What Prometheus 2.42 sends.
        {"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;"
         "q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
         MetricsFormat::OpenMetrics},
        {"application/openmetrics-text", MetricsFormat::OpenMetrics},
        {"Application/OpenMetrics-Text; Version=1.0.0", MetricsFormat::OpenMetrics},
        {"", MetricsFormat::Text},
        {"text/plain", MetricsFormat::Text},
        {"*/*", MetricsFormat::Text},
        {"application/openmetrics-text;q=0", MetricsFormat::Text},
        {"application/openmetrics-text;version=0.0.1", MetricsFormat::Text},
        {"text/plain;q=0.9, application/openmetrics-text;q=0.5", MetricsFormat::Text},
        {"text/plain;q=0.5, application/openmetrics-text;q=0.9", MetricsFormat::OpenMetrics},
        {"application/json", MetricsFormat::Text},
    };
    for (const Case& c : cases)
        EXPECT_EQ(metricsFormatFor(c.accept), c.expected) << c.accept;
    EXPECT_EQ(metricsContentType(MetricsFormat::Text), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(metricsContentType(MetricsFormat::OpenMetrics),
              "application/openmetrics-text; version=1.0.0; charset=utf-8");
}

} // namespace
} // namespace flowloom::web
