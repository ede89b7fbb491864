// Days per application in the history file: written once, read back summed
// over a range with what is still in memory, pruned with the other days, and
// a history file made before the table existed still reads and gains it.
#include "usage/UsageHistory.h"
#include "usage/UsageStore.h"

#include "sampling/ScriptedSource.h"
#include "usage/UsageRules.h"

#include <sqlite3.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "HistoryFolder.h"

using namespace flowloom::usage;
using flowloom::sampling::ScriptedSource;
using flowloom::usage::test::TempFolder;

namespace {

const InterfaceIdentity kEth = identityOf(ScriptedSource::row(1, "eth0", 0, 0));
const InterfaceIdentity kLo{"lo", ""};

ApplicationDayDelta app(const InterfaceIdentity& identity, const char* name, int kind,
                        const char* day, std::uint64_t in, std::uint64_t out)
{
    return ApplicationDayDelta{identity, name, kind, day, in, out};
}

TEST(ApplicationHistory, DaysAreSummedOverTheRangeOnceWrittenOrHeld)
{
    TempFolder folder;
    ASSERT_TRUE(UsageStore::prepare(folder.file(), DateTime{2026, 12, 8, 12, 0, 0}).ready);
    auto store = UsageStore::open(folder.file());
    ASSERT_TRUE(store);
    UsageBatch first;
    first.seq = 1;
    first.applications = {
        app(kEth, "firefox", 1, "2026-12-07", 1000, 100),
        app(kEth, "firefox", 1, "2026-12-08", 500, 50),
        app(kEth, "curl", 0, "2026-12-08", 7, 3),
        app(kEth, "root", 2, "2026-12-08", 11, 13),
        app(kEth, "firefox", 0, "2026-12-08", 1, 1), // same name, found another way
        app(kLo, "firefox", 1, "2026-12-08", 9999, 9999),
        app(kEth, "firefox", 1, "2026-11-30", 4, 4), // before the range
    };
    std::string error;
    ASSERT_TRUE(store->write({first}, error)) << error;
    // Written twice (a confirmation lost): counted once.
    ASSERT_TRUE(store->write({first}, error)) << error;

    UsageBatch held; // not written yet
    held.seq = 2;
    held.applications = {app(kEth, "firefox", 1, "2026-12-08", 20, 2),
                         app(kEth, "ssh", 1, "2026-12-08", 5, 6)};

    const std::vector<ApplicationUsage> got =
        store->applications(kEth, "2026-12-01", "2026-12-08", {first, held});
    const std::vector<ApplicationUsage> expected = {
        {"curl", 0, 7, 3},   {"firefox", 0, 1, 1}, {"firefox", 1, 1000 + 500 + 20, 100 + 50 + 2},
        {"root", 2, 11, 13}, {"ssh", 1, 5, 6},
    };
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(store->lastReadComplete());

    const std::vector<ApplicationUsage> today =
        store->applications(kLo, "2026-12-08", "2026-12-08", {});
    ASSERT_EQ(today.size(), 1u);
    EXPECT_EQ(today[0].in, 9999u);
    EXPECT_TRUE(store->applications({"wlan0", ""}, "2026-12-01", "2026-12-31", {}).empty());
}

TEST(ApplicationHistory, AFileOfTheEarlierVersionReadsAndGainsTheTable)
{
    TempFolder folder;
    {
        // The history as the program wrote it before days per application.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(folder.file().c_str(), &db), SQLITE_OK);
        const char* earlier = R"(
PRAGMA journal_mode=WAL; PRAGMA application_id=1181511543; PRAGMA user_version=1;
CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE interfaces(id INTEGER PRIMARY KEY, name TEXT NOT NULL,
    address TEXT NOT NULL, UNIQUE(name, address));
CREATE TABLE days(interface INTEGER NOT NULL, day TEXT NOT NULL,
    download INTEGER NOT NULL, upload INTEGER NOT NULL,
    PRIMARY KEY(interface, day)) WITHOUT ROWID;
CREATE TABLE periods(interface INTEGER NOT NULL, start TEXT NOT NULL,
    download INTEGER NOT NULL, upload INTEGER NOT NULL, warned INTEGER NOT NULL,
    PRIMARY KEY(interface, start)) WITHOUT ROWID;
INSERT INTO meta(key, value) VALUES('written', 4);
INSERT INTO interfaces(id, name, address) VALUES(1, 'eth0', '');
INSERT INTO days(interface, day, download, upload) VALUES(1, '2026-12-07', 123, 45);
)";
        ASSERT_EQ(sqlite3_exec(db, earlier, nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    const StoreReport report = UsageStore::prepare(folder.file(), DateTime{2026, 12, 8, 9, 0, 0});
    ASSERT_TRUE(report.ready) << report.message;
    auto store = UsageStore::open(folder.file());
    ASSERT_TRUE(store);
    EXPECT_EQ(store->writtenSeq(), 4u);
    const InterfaceIdentity eth{"eth0", ""};
    EXPECT_EQ(store->days(eth, "2026-12-01", "2026-12-31", {}),
              (std::vector<DayUsage>{{"2026-12-07", 123, 45}}));
    EXPECT_TRUE(store->applications(eth, "2026-12-01", "2026-12-31", {}).empty());

    UsageBatch batch;
    batch.seq = 5;
    batch.applications = {app(eth, "firefox", 1, "2026-12-08", 10, 20)};
    std::string error;
    ASSERT_TRUE(store->write({batch}, error)) << error;
    EXPECT_EQ(store->applications(eth, "2026-12-08", "2026-12-08", {}),
              (std::vector<ApplicationUsage>{{"firefox", 1, 10, 20}}));
}

TEST(ApplicationHistory, ApplicationDaysArePrunedWithTheOtherDays)
{
    TempFolder folder;
    const DateTime now{2026, 12, 8, 12, 0, 0};
    ASSERT_TRUE(UsageStore::prepare(folder.file(), now).ready);
    const std::string old = dayKey(addDays(now, -UsageStore::kKeptDays - 1));
    const std::string kept = dayKey(addDays(now, -UsageStore::kKeptDays));
    {
        auto store = UsageStore::open(folder.file());
        UsageBatch batch;
        batch.seq = 1;
        batch.days = {DayDelta{kEth, dayKey(now), 1, 1}};
        batch.applications = {app(kEth, "old", 0, old.c_str(), 1, 1),
                              app(kEth, "kept", 0, kept.c_str(), 2, 2)};
        std::string error;
        ASSERT_TRUE(store->write({batch}, error)) << error;
    }
    ASSERT_TRUE(UsageStore::prepare(folder.file(), now).ready); // the next start prunes
    auto store = UsageStore::open(folder.file());
    EXPECT_EQ(store->applications(kEth, "0000-01-01", "9999-12-31", {}),
              (std::vector<ApplicationUsage>{{"kept", 0, 2, 2}}));
}

TEST(ApplicationHistory, InMemoryAdditionsMergeByDayNameAndKind)
{
    const UtcZone zone;
    UsageHistory history(zone);
    const DateTime morning{2026, 12, 8, 9, 0, 0};
    const DateTime evening{2026, 12, 8, 21, 0, 0};
    const DateTime next{2026, 12, 9, 9, 0, 0};
    history.addApplication(kEth, "firefox", 1, morning, 10, 1);
    history.addApplication(kEth, "firefox", 1, evening, 5, 2);
    history.addApplication(kEth, "firefox", 1, next, 100, 100);
    history.addApplication(kEth, "firefox", 0, morning, 3, 3);
    history.addApplication(kEth, "nothing", 0, morning, 0, 0); // no traffic, no row
    ASSERT_TRUE(history.hasPending());
    const UsageBatch pending = history.unsaved().back();
    EXPECT_EQ(pending.applications.size(), 3u) << "one row per day, name and kind";
    EXPECT_EQ(history.applications(kEth, "2026-12-08", "2026-12-08"),
              (std::vector<ApplicationUsage>{{"firefox", 0, 3, 3}, {"firefox", 1, 15, 3}}));
    EXPECT_EQ(history.applications(kEth, "2026-12-08", "2026-12-09"),
              (std::vector<ApplicationUsage>{{"firefox", 0, 3, 3}, {"firefox", 1, 115, 103}}));
}

} // namespace
