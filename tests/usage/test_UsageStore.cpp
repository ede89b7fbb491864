// The history file itself: what a start prunes, a file another program holds
// locked, what was at the path before the start, and who may read the file.
#include "usage/UsageStore.h"

#include "app/IniTestSupport.h"
#include "sampling/ScriptedSource.h"
#include "usage/UsageRules.h"

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

using namespace flowloom::usage;
using flowloom::sampling::ScriptedSource;
using flowloom::test::readBytes;
using flowloom::test::TempFolder;
using flowloom::test::writeBytes;
namespace fs = std::filesystem;

namespace {
fs::path historyIn(const TempFolder& folder)
{
    return folder / "flowloom-history.sqlite";
}

std::set<std::string> namesIn(const TempFolder& folder)
{
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(folder.path()))
        result.insert(entry.path().filename().string());
    return result;
}

constexpr DateTime at(int y, int mo, int d, int h = 12)
{
    return DateTime{y, mo, d, h, 0, 0};
}

const InterfaceIdentity kEth = identityOf(ScriptedSource::row(1, "eth0", 0, 0));

// A history holding one byte of download on each of `days`.
void writeDays(const fs::path& file, const std::vector<DateTime>& days)
{
    ASSERT_TRUE(UsageStore::prepare(file, days.front()).ready);
    auto writer = UsageStore::open(file);
    ASSERT_TRUE(writer);
    UsageBatch batch;
    batch.seq = writer->writtenSeq() + 1;
    for (const DateTime& day : days)
        batch.days.push_back(DayDelta{kEth, dayKey(day), 1, 0});
    std::string error;
    ASSERT_TRUE(writer->write({batch}, error)) << error;
}

std::vector<DayUsage> everyDay(UsageStore& store)
{
    return store.days(kEth, "0000-01-01", "9999-12-31", {});
}

std::vector<std::string> storedDays(const fs::path& file)
{
    std::vector<std::string> keys;
    for (const DayUsage& day : everyDay(*UsageStore::open(file)))
        keys.push_back(day.day);
    return keys;
}

unsigned modeOf(const fs::path& file)
{
    struct stat info
    {
    };
    return ::stat(file.c_str(), &info) == 0 ? info.st_mode & 07777u : 0u;
}

// Another program holding the history: a writer in a transaction, which
// leaves reading possible, or an exclusive hold that keeps readers out too.
class HeldLock
{
public:
    HeldLock(const fs::path& file, bool readersToo)
    {
        EXPECT_EQ(sqlite3_open(file.c_str(), &m_db), SQLITE_OK);
        if (readersToo)
            exec("PRAGMA locking_mode=EXCLUSIVE");
        exec("BEGIN EXCLUSIVE");
        exec("UPDATE meta SET value = value");
    }
    ~HeldLock() { release(); }
    void release()
    {
        if (m_db == nullptr)
            return;
        exec("COMMIT");
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    void exec(const char* sql)
    {
        EXPECT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(m_db);
    }
    sqlite3* m_db = nullptr;
};
} // namespace

TEST(UsageStore, PruningNeverFollowsAClockFarPastTheNewestStoredDay)
{
    // Days are kept 5 × 366 = 1830 days. Before 11 January 2026 that is
    // 7 January 2021 (11 January 2021 lies 5 × 365 + 1 = 1826 days back);
    // before 10 January 2026 it is 6 January 2021, before 10 January 2025 it
    // is 7 January 2020 (1827 days back to 10 January 2020: 2020 and 2024 leap).
    struct Case
    {
        const char* what;
        std::vector<DateTime> stored;
        DateTime now;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"six years ahead: every stored day stays",
         {at(2021, 6, 15), at(2024, 2, 29), at(2026, 1, 10)},
         at(2032, 1, 12),
         {"2021-06-15", "2024-02-29", "2026-01-10"}},
        {"far ahead: pruned from the newest stored day",
         {at(2021, 1, 5), at(2021, 1, 6), at(2026, 1, 10)},
         at(2032, 1, 12),
         {"2021-01-06", "2026-01-10"}},
        {"two days past the newest: from the newest",
         {at(2021, 1, 5), at(2021, 1, 6), at(2026, 1, 10)},
         at(2026, 1, 12),
         {"2021-01-06", "2026-01-10"}},
        {"the day after the newest: from today",
         {at(2020, 3, 1), at(2021, 1, 6), at(2021, 1, 7), at(2026, 1, 10)},
         at(2026, 1, 11),
         {"2021-01-07", "2026-01-10"}},
        {"a clock behind the newest day: from today",
         {at(2019, 12, 31), at(2020, 1, 7), at(2026, 1, 10)},
         at(2025, 1, 10),
         {"2020-01-07", "2026-01-10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        writeDays(historyIn(folder), c.stored);
        ASSERT_TRUE(UsageStore::prepare(historyIn(folder), c.now).ready);
        EXPECT_EQ(storedDays(historyIn(folder)), c.kept);
    }
}

TEST(UsageStore, AFileHeldLockedIsLeftAsItIsAndWorthTryingAgain)
{
    for (const bool readersToo : {false, true}) {
        SCOPED_TRACE(readersToo ? "held exclusively" : "held by a writer");
        TempFolder folder;
        const fs::path file = historyIn(folder);
        writeDays(file, {at(2026, 12, 1), at(2026, 12, 2)});
        HeldLock lock(file, readersToo);
        auto reader = UsageStore::open(file);

        const StoreReport report = UsageStore::prepare(file, at(2026, 12, 3));
        EXPECT_FALSE(report.ready);
        EXPECT_TRUE(report.retry);
        EXPECT_TRUE(report.movedTo.empty());
        EXPECT_NE(report.message.find("tried again every minute"), std::string::npos)
            << report.message;
        const auto days = everyDay(*reader);
        EXPECT_EQ(reader->lastReadComplete(), !readersToo);
        EXPECT_EQ(days.size(), readersToo ? 0u : 2u);

        lock.release();
        EXPECT_TRUE(UsageStore::prepare(file, at(2026, 12, 3)).ready);
        EXPECT_EQ(everyDay(*reader).size(), 2u);
        EXPECT_TRUE(reader->lastReadComplete());
        reader.reset();
        EXPECT_EQ(namesIn(folder), (std::set<std::string>{"flowloom-history.sqlite"}));
    }
}

TEST(UsageStore, WhatWasAtThePathBeforeTheStartIsNeverRemoved)
{
    const std::string damaged(4000, 'x');
    struct Case
    {
        const char* what;
        std::function<void(const TempFolder&)> make;
        bool retry;
    };
    const Case cases[] = {
        {"a link into a drive that is not there",
         [](const TempFolder& f) {
             fs::create_symlink(f / "unmounted" / "h.sqlite", historyIn(f));
         },
         true},
        {"a link to a missing file in a folder that is there",
         [](const TempFolder& f) { fs::create_symlink(f / "gone.sqlite", historyIn(f)); }, true},
        {"a folder", [](const TempFolder& f) { fs::create_directory(historyIn(f)); }, false},
        {"a link to a damaged file",
         [&](const TempFolder& f) {
             writeBytes(f / "elsewhere.sqlite", damaged);
             fs::create_symlink(f / "elsewhere.sqlite", historyIn(f));
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        c.make(folder);
        const auto before = namesIn(folder);
        const fs::file_type type = fs::symlink_status(historyIn(folder)).type();

        const StoreReport report = UsageStore::prepare(historyIn(folder), at(2026, 12, 3));
        EXPECT_FALSE(report.ready);
        EXPECT_EQ(report.retry, c.retry);
        EXPECT_FALSE(report.message.empty());
        EXPECT_EQ(namesIn(folder), before) << "nothing removed, moved or made beside it";
        EXPECT_EQ(fs::symlink_status(historyIn(folder)).type(), type);
        if (fs::exists(folder / "elsewhere.sqlite")) {
            EXPECT_EQ(readBytes(folder / "elsewhere.sqlite"), damaged) << "left as it was";
        }
    }
}

TEST(UsageStore, AHistoryBehindALinkIsUsedThroughIt)
{
    TempFolder folder;
    const fs::path target = folder / "drive" / "history.sqlite";
    fs::create_directories(target.parent_path());
    writeDays(target, {at(2026, 12, 1)});
    fs::create_symlink(target, historyIn(folder));
    ASSERT_TRUE(UsageStore::prepare(historyIn(folder), at(2026, 12, 3)).ready);
    writeDays(historyIn(folder), {at(2026, 12, 3)});
    EXPECT_TRUE(fs::is_symlink(historyIn(folder)));
    EXPECT_EQ(storedDays(target), (std::vector<std::string>{"2026-12-01", "2026-12-03"}));
}

TEST(UsageStore, ANewHistoryIsReadableByItsOwnerOnlyAndAnOldOneKeepsItsMode)
{
    TempFolder folder;
    const fs::path file = historyIn(folder), wal = folder / "flowloom-history.sqlite-wal",
                   shm = folder / "flowloom-history.sqlite-shm";
    // Writes a day more and, while the history is open (which keeps its
    // companions there), checks the modes of `files`.
    auto expectModes = [&](const DateTime& day, std::size_t daysStored, unsigned mode,
                           std::vector<fs::path> files) {
        writeDays(file, {day});
        auto held = UsageStore::open(file);
        EXPECT_EQ(storedDays(file).size(), daysStored);
        for (const fs::path& companion : files) {
            ASSERT_TRUE(fs::exists(companion)) << companion;
            EXPECT_EQ(modeOf(companion), mode) << companion;
        }
    };
    expectModes(at(2026, 12, 1), 1, 0600u, {file, wal, shm});
    // The user chose other bits for the file: they stay, and its companions follow.
    fs::remove(wal);
    fs::remove(shm);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    expectModes(at(2026, 12, 2), 2, 0640u, {file, wal});
}

TEST(UsageStore, AReadOnlyConnectionReadsWhatIsCommittedAndRefusesWhatIsNoHistory)
{
    const TempFolder folder;
    std::string reason;
    EXPECT_FALSE(UsageStore::openReadOnly(historyIn(folder), reason));
    EXPECT_EQ(reason, "there is no such file");
    EXPECT_FALSE(fs::exists(historyIn(folder))) << "a read-only open makes nothing";
    EXPECT_FALSE(UsageStore::openReadOnly(folder.path(), reason));
    EXPECT_EQ(reason, "it is not a file");

    // The same name with two adapters: the one used last comes first.
    const InterfaceIdentity older{"eth0", "02-00-00-00-00-77"};
    ASSERT_NE(older, kEth);
    writeDays(historyIn(folder), {at(2026, 12, 1), at(2026, 12, 3)});
    {
        auto writer = UsageStore::open(historyIn(folder));
        UsageBatch batch;
        batch.seq = writer->writtenSeq() + 1;
        batch.days.push_back(DayDelta{older, "2026-11-20", 5, 5});
        std::string error;
        ASSERT_TRUE(writer->write({batch}, error)) << error;
    }
    const auto reader = UsageStore::openReadOnly(historyIn(folder), reason);
    ASSERT_TRUE(reader) << reason;
    EXPECT_EQ(reader->identitiesNamed("eth0"), (std::vector<InterfaceIdentity>{kEth, older}));
    EXPECT_TRUE(reader->identitiesNamed("wlan0").empty());
    EXPECT_TRUE(reader->lastReadComplete());
    EXPECT_EQ(reader->days(kEth, "2026-12-01", "2026-12-31", {}).size(), 2u);
    std::string error;
    EXPECT_FALSE(reader->write({UsageBatch{99, {{kEth, "2026-12-04", 1, 1}}, {}, {}}}, error))
        << "it writes nothing";

    // Another program's database, and bytes that are none.
    const fs::path other = folder / "other.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(UsageStore::openReadOnly(other, reason));
    EXPECT_EQ(reason, "it is not a usage history");
    std::ofstream(folder / "text.sqlite") << "just some text, long enough to be a header";
    EXPECT_FALSE(UsageStore::openReadOnly(folder / "text.sqlite", reason));
    EXPECT_FALSE(reason.empty());
}

// An open history takes its cache pages as it reads them: not SQLite's first
// block of 20 pages (20 × 4096 bytes and their headers) for every connection.
TEST(UsageStore, AnOpenHistoryHoldsFewerCachePagesThanSqlitesFirstBlock)
{
    TempFolder folder;
    const fs::path file = historyIn(folder);
    ASSERT_TRUE(UsageStore::prepare(file, at(2026, 12, 3)).ready);
    const sqlite3_int64 before = sqlite3_memory_used();
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly);
        std::string reason;
        const sqlite3_int64 start = sqlite3_memory_used();
        auto store = readOnly ? UsageStore::openReadOnly(file, reason) : UsageStore::open(file);
        ASSERT_NE(store, nullptr) << reason;
        EXPECT_LT(sqlite3_memory_used() - start, 20 * 4096);
    }
    EXPECT_EQ(sqlite3_memory_used(), before); // all given back once closed
}
