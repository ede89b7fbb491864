// "flowloom --report" on a seeded history: golden tables and JSON, the exit
// statuses 0, 1 and 2, a history that another program is writing, and the
// real program run without any display.
#include "accounting/AccountingCore.h"
#include "app/instance/InstanceLock.h"
#include "app/report/UsageReport.h"
#include "sampling/ScriptedSource.h"
#include "usage/UsageStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace flowloom::app {
namespace {

namespace fs = std::filesystem;
using S = sampling::ScriptedSource;

const sampling::DateTime kNow{2026, 12, 11, 0, 0, 0}; // ten days into December's period

sampling::TMIBIfArray systemTable()
{
    return {S::row(1, "lo", 0, 0), S::row(2, "eth0", 0, 0)};
}

const usage::InterfaceIdentity& eth0()
{
    static const usage::InterfaceIdentity identity = usage::identityOf(systemTable()[1]);
    return identity;
}

struct Seeded
{
    fs::path folder;
    usage::UtcZone zone;

    Seeded()
    {
        char pattern[] = "/tmp/flowloom-report-XXXXXX";
        folder = ::mkdtemp(pattern);
        // Calendar months; a 10 MB cap of both directions; eth0 is selected.
        writeSettings("[Plotter]\r\nURL=1\r\nReset=0\r\nDataCap=1\r\nCapSize=10\r\nCapUnit=0\r\n"
                      "CapCounts=2\r\n");
    }
    ~Seeded()
    {
        std::error_code error;
        fs::remove_all(folder, error);
    }
    fs::path settings() const { return folder / "flowloom.ini"; }
    fs::path history() const { return usage::historyPathFor(settings()); }
    std::string historyError(const std::string& why) const
    {
        return "flowloom: the usage history " + history().string() + why;
    }
    void writeSettings(const std::string& text) const
    {
        std::ofstream(settings(), std::ios::binary) << text;
    }
    void seed() const
    {
        ASSERT_TRUE(usage::UsageStore::prepare(history(), kNow).ready);
        auto writer = usage::UsageStore::open(history());
        usage::UsageBatch batch;
        batch.seq = 1;
        batch.days = {{eth0(), "2026-11-30", 1000, 24},
                      {eth0(), "2026-12-01", 1048576, 524288},
                      {eth0(), "2026-12-05", 3670016, 1536},
                      {eth0(), "2026-12-11", 512, 0},
                      {{"wlan0", "02-00-00-00-00-09"}, "2026-12-05", 7, 7},
                      {accounting::physicalSumIdentity(), "2026-12-02", 2048, 1024}};
        batch.periods = {{eth0(), "2026-11-01 00:00:00", 1000, 24, 0},
                         {eth0(), "2026-12-01 00:00:00", 4719104, 525824, 1},
                         {accounting::physicalSumIdentity(), "2026-12-01 00:00:00", 2048, 1024, 0}};
        std::string error;
        ASSERT_TRUE(writer->write({batch}, error)) << error;
    }
    ReportResult report(ReportOptions options) const
    {
        return usageReport(options, {settings(), kNow, zone, &systemTable});
    }
};

ReportOptions span(ReportSpan span, int count = 0, bool json = false)
{
    ReportOptions options;
    options.span = span;
    options.count = count;
    options.json = json;
    return options;
}

TEST(UsageReport, SizesScaleByPowersOf1024WithTwoDecimals)
{
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.00 KiB"},
        {1535, "1.50 KiB"},    // 1.499 rounds up
        {1034, "1.01 KiB"},    // 1.0098
        {1048575, "1.00 MiB"}, // 1023.999 KiB rounds into the next unit
        {1048576, "1.00 MiB"},
        {5ull * 1073741824 + 536870912, "5.50 GiB"},
        {1099511627776ull, "1.00 TiB"},
        {UINT64_MAX, "16.00 EiB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(sizeText(bytes), text) << bytes;
}

const std::string kPeriodLines = "\nBilling period 2026-12-01 00:00:00 to 2027-01-01 00:00:00\n"
                                 // 31 days of which 10 passed: 3.1 times the usage so far.
                                 "  used:      4.50 MiB down, 513.50 KiB up\n"
                                 "  projected: 13.95 MiB down, 1.55 MiB up by its end\n"
                                 // (4719104 + 525824) / 10485760
                                 "  data cap:  10.00 MiB of both, 50.0 % used\n";

TEST(UsageReport, TablesAreAlignedWithUnitsThatScale)
{
    Seeded s;
    s.seed();
    const std::string heading = "Usage of eth0 (" + eth0().address + "), ";

    const struct
    {
        ReportOptions options;
        std::string table;
    } tables[] = {
        {span(ReportSpan::Period), "this billing period\n\n"
                                   "Date        Download      Upload     Total\n"
                                   "2026-12-01  1.00 MiB  512.00 KiB  1.50 MiB\n"
                                   "2026-12-05  3.50 MiB    1.50 KiB  3.50 MiB\n"
                                   "2026-12-11     512 B         0 B     512 B\n"
                                   "Total       4.50 MiB  513.50 KiB  5.00 MiB\n"},
        {span(ReportSpan::Days, 12), "the last 12 days\n\n"
                                     "Date        Download      Upload     Total\n"
                                     "2026-11-30    1000 B        24 B  1.00 KiB\n"
                                     "2026-12-01  1.00 MiB  512.00 KiB  1.50 MiB\n"
                                     "2026-12-05  3.50 MiB    1.50 KiB  3.50 MiB\n"
                                     "2026-12-11     512 B         0 B     512 B\n"
                                     "Total       4.50 MiB  513.52 KiB  5.00 MiB\n"},
        {span(ReportSpan::Months, 2), "the last 2 months\n\n"
                                      "Month    Download      Upload     Total\n"
                                      "2026-11    1000 B        24 B  1.00 KiB\n"
                                      "2026-12  4.50 MiB  513.50 KiB  5.00 MiB\n"
                                      "Total    4.50 MiB  513.52 KiB  5.00 MiB\n"},
    };
    ReportResult result;
    for (const auto& [options, table] : tables) {
        result = s.report(options);
        EXPECT_EQ(result.status, kReportDone) << table;
        EXPECT_EQ(result.err, "") << table;
        EXPECT_EQ(result.out, heading + table + kPeriodLines);
    }

    // Today alone; another interface by name; the sum of the physical ones.
    EXPECT_NE(s.report(span(ReportSpan::Days, 1)).out.find("\n2026-12-11     512 B"),
              std::string::npos);
    ReportOptions wlan = span(ReportSpan::Days, 7);
    wlan.interface = "wlan0";
    EXPECT_EQ(s.report(wlan).out.substr(0, 48), "Usage of wlan0 (02-00-00-00-00-09), the last 7 d");
    s.writeSettings("[Plotter]\r\nCapScope=1\r\n");
    result = s.report(span(ReportSpan::Period));
    EXPECT_EQ(result.out.substr(0, result.out.find('\n', result.out.find("\nTotal ") + 1)),
              "Usage of the physical interfaces, this billing period\n\n"
              "Date        Download    Upload     Total\n"
              "2026-12-02  2.00 KiB  1.00 KiB  3.00 KiB\n"
              "Total       2.00 KiB  1.00 KiB  3.00 KiB");
    EXPECT_EQ(result.out.find("data cap"), std::string::npos) << "the cap is off";
}

TEST(UsageReport, JsonIsTheApisSchema)
{
    Seeded s;
    s.seed();
    EXPECT_EQ(s.report(span(ReportSpan::Days, 12, true)).out,
              "{\"version\":\"" + versionNumber() + "\",\"interface\":\"eth0\",\"address\":\"" +
                  eth0().address +
                  "\",\"granularity\":\"day\",\"from\":\"2026-11-30\",\"to\":\"2026-12-11\","
                  "\"rows\":[{\"date\":\"2026-11-30\",\"received_bytes\":1000,\"sent_bytes\":24},"
                  "{\"date\":\"2026-12-01\",\"received_bytes\":1048576,\"sent_bytes\":524288},"
                  "{\"date\":\"2026-12-05\",\"received_bytes\":3670016,\"sent_bytes\":1536},"
                  "{\"date\":\"2026-12-11\",\"received_bytes\":512,\"sent_bytes\":0}]}\n");
    EXPECT_NE(
        s.report(span(ReportSpan::Months, 2, true))
            .out.find(
                "\"granularity\":\"month\",\"from\":\"2026-11\",\"to\":\"2026-12\",\"rows\":[{"
                "\"date\":\"2026-11\",\"received_bytes\":1000,\"sent_bytes\":24},{\"date\":"
                "\"2026-12\",\"received_bytes\":4719104,\"sent_bytes\":525824}]}"),
        std::string::npos)
        << "the month's days added up";
    EXPECT_EQ(s.report(span(ReportSpan::Period, 0, true)).out,
              "{\"version\":\"" + versionNumber() +
                  "\",\"period\":{\"interface\":\"eth0\",\"start\":\"2026-12-01T00:00:00Z\","
                  "\"end\":\"2027-01-01T00:00:00Z\",\"received_bytes\":4719104,\"sent_bytes\":"
                  "525824,\"projected_received_bytes\":14629222,\"projected_sent_bytes\":1630054},"
                  "\"cap\":{\"bytes\":10485760,\"counts\":\"both\",\"used_bytes\":5244928,"
                  "\"used_ratio\":0.5001953125,\"projected_bytes\":16259276,\"warning_percent\":"
                  "80}}\n");
}

TEST(UsageReport, ExitStatusesTellTheAlertAndTheFailures)
{
    Seeded s;
    // No history yet: 2, with a clear message.
    ReportResult result = s.report(span(ReportSpan::Period));
    EXPECT_EQ(result.status, kReportFailed);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, s.historyError(" cannot be read: there is no such file\n"));

    s.seed();
    // 5244928 of 10485760 bytes: 50.02 %.
    for (const auto& [percent, status] :
         {std::pair{1, kReportAlert}, std::pair{50, kReportAlert}, std::pair{51, kReportDone},
          std::pair{200, kReportDone}}) {
        ReportOptions alert = span(ReportSpan::Days, 3);
        alert.alertPercent = percent;
        EXPECT_EQ(s.report(alert).status, status) << percent << " %";
        alert.json = true;
        EXPECT_EQ(s.report(alert).status, status) << percent << " %, JSON";
    }
    ReportOptions unknown = span(ReportSpan::Period);
    unknown.interface = "wlan9";
    result = s.report(unknown);
    EXPECT_EQ(result.status, kReportFailed);
    EXPECT_EQ(result.err, s.historyError(" has no interface named wlan9\n"));

    // Another program writing meanwhile (WAL): the report reads what was committed.
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(s.history().c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; UPDATE days SET download = 0", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    result = s.report(span(ReportSpan::Period));
    EXPECT_EQ(result.status, kReportDone) << result.err;
    EXPECT_NE(result.out.find("Total       4.50 MiB"), std::string::npos);
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);

    // Damaged: never a crash, status 2.
    for (const std::string& bytes :
         {std::string("not a database at all, just text\n"), std::string(4096, '\0')}) {
        fs::remove(s.history().string() + "-wal");
        fs::remove(s.history().string() + "-shm");
        std::ofstream(s.history(), std::ios::binary | std::ios::trunc) << bytes;
        result = s.report(span(ReportSpan::Period));
        EXPECT_EQ(result.status, kReportFailed);
        EXPECT_EQ(result.err.rfind(s.historyError(" cannot be read: "), 0), 0u) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line";
    }
}

struct ProgramRun
{
    int status = -1;
    std::string output;
};

ProgramRun run(const std::string& command)
{
    ProgramRun result;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.output.append(buffer, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return result;
}

TEST(UsageReport, TheProgramReportsWithoutAnyDisplayAndLeavesNoLock)
{
    Seeded s;
    const fs::path program = s.folder / "flowloom"; // portable: the settings lie beside it
    fs::copy_file(FLOWLOOM_BINARY, program);
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME=" + s.folder.string() + " " +
        program.string() + " --report";
    ProgramRun result = run(command);
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_EQ(result.output, s.historyError(" cannot be read: there is no such file\n"));

    s.seed();
    s.writeSettings("[Plotter]\r\nReset=0\r\nDataCap=1\r\nCapSize=1\r\nCapUnit=0\r\n");
    result = run(command + " --interface eth0 --alert 100 --json");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(result.output.rfind("{\"version\":\"" + versionNumber() + "\",\"period\":", 0), 0u)
        << result.output;
    result = run(command + " --interface eth0 --days 9999");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("\nTotal "), std::string::npos) << result.output;
    EXPECT_EQ(run(command + " --days 0").status, 2);
    EXPECT_FALSE(fs::exists(instance::lockPathFor(s.settings())))
        << "no instance lock: a report runs beside the program";
}

} // namespace
} // namespace flowloom::app
