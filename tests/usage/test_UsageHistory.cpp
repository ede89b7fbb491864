#include "usage/UsageHistory.h"

#include "sampling/ScriptedSource.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "HistoryFolder.h"

using namespace flowloom::usage;
using flowloom::sampling::ScriptedSource;
namespace fs = std::filesystem;
using flowloom::usage::test::TempFolder;

namespace {

flowloom::sampling::TMIBIfRow row(std::uint32_t index, const char* name, std::uint8_t mac)
{
    auto r = ScriptedSource::row(index, name, 0, 0);
    r.physAddrLen = 6;
    r.physAddr = {0x02, 0, 0, 0, 0, mac, 0, 0};
    return r;
}

constexpr DateTime at(int y, int mo, int d, int h = 12, int mi = 0, int s = 0)
{
    return DateTime{y, mo, d, h, mi, s};
}

// One run of the program: a history over its own connection.
struct ProgramRun
{
    UtcZone zone;
    std::unique_ptr<UsageStore> reader;
    std::unique_ptr<UsageStore> writer;
    UsageHistory history{zone};
    explicit ProgramRun(const fs::path& file)
    {
        EXPECT_TRUE(UsageStore::prepare(file, at(2024, 2, 1)).ready);
        reader = UsageStore::open(file);
        writer = UsageStore::open(file);
        history.attach(reader.get(), writer->writtenSeq());
    }
    void flush()
    {
        const auto batches = history.seal();
        std::string error;
        ASSERT_TRUE(writer->write(batches, error)) << error;
        history.written(batches.back().seq);
    }
    std::uint64_t in(const InterfaceIdentity& id, const std::string& day)
    {
        const auto days = history.days(id, day, day);
        return days.empty() ? 0 : days.front().in;
    }
};

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
} // namespace

TEST(UsageHistory, AnInterfaceKeepsItsHistoryWhenTheTableIsReordered)
{
    TempFolder folder;
    const auto first = identitiesOf({row(1, "eth0", 1), row(2, "wlan0", 2)});
    {
        ProgramRun run(folder.file());
        run.history.add(first[0], at(2024, 2, 3), 1000, 10);
        run.history.add(first[1], at(2024, 2, 3), 7, 7);
        run.flush();
    }
    // Next start: other order, other indexes; eth1 has eth0's adapter.
    const auto second = identitiesOf({row(5, "wlan0", 2), row(6, "eth0", 1), row(7, "eth1", 1)});
    ProgramRun run(folder.file());
    EXPECT_EQ(run.in(second[1], "2024-02-03"), 1000u);
    EXPECT_EQ(run.in(second[0], "2024-02-03"), 7u);
    EXPECT_EQ(run.in(second[2], "2024-02-03"), 0u) << "a renamed interface is another one";
}

TEST(UsageHistory, EveryByteIsCountedOnceWhetherWrittenOrStillInMemory)
{
    TempFolder folder;
    const InterfaceIdentity eth = identityOf(row(1, "eth0", 1));
    ProgramRun run(folder.file());
    run.history.add(eth, at(2024, 2, 3, 23, 59, 59), 100, 1);
    run.history.add(eth, at(2024, 2, 4, 0, 0, 0), 40, 2); // local midnight: the next day
    EXPECT_EQ(run.in(eth, "2024-02-03"), 100u) << "pending, not yet written";

    const auto batches = run.history.seal();
    EXPECT_EQ(run.in(eth, "2024-02-03"), 100u) << "sealed, not yet written";
    std::string error;
    ASSERT_TRUE(run.writer->write(batches, error));
    EXPECT_EQ(run.in(eth, "2024-02-03"), 100u) << "written, not yet confirmed";
    ASSERT_TRUE(run.writer->write(batches, error)) << "a batch written twice counts once";
    run.history.written(batches.back().seq);
    run.history.add(eth, at(2024, 2, 4, 8), 5, 0);
    const auto days = run.history.days(eth, "2024-02-01", "2024-02-29");
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0], (DayUsage{"2024-02-03", 100, 1}));
    EXPECT_EQ(days[1], (DayUsage{"2024-02-04", 45, 2}));
    EXPECT_EQ(historyCsv(days),
              "Date,Download bytes,Upload bytes\r\n2024-02-03,100,1\r\n2024-02-04,45,2\r\n");

    // What a killed program had written is there at the next start; its
    // pending bytes are not.
    ProgramRun next(folder.file());
    EXPECT_EQ(next.in(eth, "2024-02-04"), 40u);
}

TEST(UsageHistory, APeriodRollsOverAndARuleChangedMidPeriodCountsItsDays)
{
    TempFolder folder;
    const InterfaceIdentity eth = identityOf(row(1, "eth0", 1));
    ProgramRun run(folder.file());
    run.history.setBillingRule({true, 14, 6, 0, 0}); // the 15th at 06:00:00
    for (int day = 1; day <= 16; ++day)
        run.history.add(eth, at(2024, 2, day, 5), 100, 10);
    // The period that began on 15 February at 06:00 saw the 16th only.
    auto status = run.history.periodStatus(eth, at(2024, 2, 16, 7));
    EXPECT_EQ(status.period.start, at(2024, 2, 15, 6));
    EXPECT_EQ(status.in, 100u);
    EXPECT_EQ(status.out, 10u);
    EXPECT_EQ(status.elapsedSeconds, 86400 + 3600);
    EXPECT_EQ(status.lengthSeconds, 29 * 86400);
    run.flush();

    // The 5th at 12:00: half of the 5th and all of the 6th to the 16th.
    run.history.setBillingRule({true, 4, 12, 0, 0});
    status = run.history.periodStatus(eth, at(2024, 2, 16, 7));
    EXPECT_EQ(status.period.start, at(2024, 2, 5, 12));
    EXPECT_EQ(status.in, 50u + 11 * 100u);
    run.history.add(eth, at(2024, 2, 16, 8), 1, 0);
    run.flush();
    ProgramRun next(folder.file());
    next.history.setBillingRule({true, 4, 12, 0, 0});
    EXPECT_EQ(next.history.periodStatus(eth, at(2024, 2, 16, 9)).in, 1151u)
        << "the estimate was written with the period";
}

TEST(UsageHistory, AWarningShownIsRememberedWithItsPeriod)
{
    TempFolder folder;
    const InterfaceIdentity eth = identityOf(row(1, "eth0", 1));
    CapRule rule;
    rule.on = true;
    rule.amount = 1000;
    rule.unitItem = 0; // 1000 MB
    constexpr std::uint64_t mb = 1ULL << 20;
    {
        ProgramRun run(folder.file());
        run.history.add(eth, at(2024, 2, 10), 850 * mb, 0);
        EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 10), rule), CapLevel::Share);
        run.flush();
    }
    ProgramRun run(folder.file());
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 11), rule), CapLevel::None);
    run.history.add(eth, at(2024, 2, 11), 150 * mb, 0);
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 11), rule), CapLevel::Full);
    run.history.add(eth, at(2024, 3, 1), 900 * mb, 0);
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 3, 1), rule), CapLevel::Share)
        << "the next calendar month is a new period";
}

TEST(UsageHistory, ACapRaisedAfterARestartWarnsAgainAtTheNewCap)
{
    TempFolder folder;
    const InterfaceIdentity eth = identityOf(row(1, "eth0", 1));
    CapRule rule;
    rule.on = true;
    rule.amount = 1000;
    rule.unitItem = 0; // 1000 MB, the share at 800 MB
    constexpr std::uint64_t mb = 1ULL << 20;
    {
        ProgramRun run(folder.file());
        run.history.add(eth, at(2024, 2, 10), 1000 * mb, 0);
        EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 10), rule), CapLevel::Full);
        run.flush();
    }
    // The next run with the cap raised to 2000 MB (share at 1600 MB).
    rule.amount = 2000;
    ProgramRun run(folder.file());
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 11), rule), CapLevel::None);
    run.history.add(eth, at(2024, 2, 11), 600 * mb, 0);
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 11), rule), CapLevel::Share);
    run.history.add(eth, at(2024, 2, 11), 400 * mb, 0);
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 11), rule), CapLevel::Full);
    EXPECT_EQ(run.history.checkCap(eth, at(2024, 2, 12), rule), CapLevel::None);
}

TEST(UsageHistory, ADamagedFileIsMovedAsideAndANewerOneIsLeftAlone)
{
    TempFolder folder;
    {
        std::ofstream garbage(folder.file(), std::ios::binary);
        garbage << std::string(5000, 'x');
    }
    const StoreReport report = UsageStore::prepare(folder.file(), at(2024, 2, 1, 9, 30, 5));
    EXPECT_TRUE(report.ready);
    EXPECT_EQ(report.movedTo.filename(), "flowloom-history.sqlite.damaged-20240201-093005");
    EXPECT_EQ(contents(report.movedTo), std::string(5000, 'x')) << "kept as it was";
    EXPECT_NE(report.message.find(report.movedTo.string()), std::string::npos);
    {
        ProgramRun run(folder.file());
        run.history.add(identityOf(row(1, "eth0", 1)), at(2024, 2, 1), 1, 1);
        run.flush();
    }

    // A second damaged file in the same second gets a name of its own.
    fs::remove(folder.file());
    {
        std::ofstream(folder.file(), std::ios::binary)
            << "SQLite format 3" << std::string(200, '\x01');
    }
    const StoreReport again = UsageStore::prepare(folder.file(), at(2024, 2, 1, 9, 30, 5));
    EXPECT_EQ(again.movedTo.filename(), "flowloom-history.sqlite.damaged-20240201-093005-2");

    // A history of a newer program is never replaced.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(folder.file().c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const auto before = contents(folder.file());
    const StoreReport newer = UsageStore::prepare(folder.file(), at(2024, 2, 2));
    EXPECT_FALSE(newer.ready);
    EXPECT_TRUE(newer.movedTo.empty());
    EXPECT_FALSE(newer.message.empty());
    EXPECT_EQ(contents(folder.file()), before);
}

TEST(UsageHistory, DaysAreKeptForMoreThanThreeYears)
{
    TempFolder folder;
    const InterfaceIdentity eth = identityOf(row(1, "eth0", 1));
    {
        ProgramRun run(folder.file());
        run.history.add(eth, at(2018, 1, 1), 1, 0);
        run.history.add(eth, at(2020, 1, 2), 2, 0);
        run.history.add(eth, at(2023, 2, 1), 3, 0); // the clock's day before: it looks right
        run.flush();
    }
    // Three years and a month later the second is kept; more than five, the first goes.
    ASSERT_TRUE(UsageStore::prepare(folder.file(), at(2023, 2, 2)).ready);
    auto reader = UsageStore::open(folder.file());
    const auto days = reader->days(eth, "2000-01-01", "2030-01-01", {});
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].day, "2020-01-02");
    EXPECT_EQ(days[1].day, "2023-02-01");
}
