// The history file itself: what a start prunes, a file another program holds
// locked, what was at the path before the start, and who may read the file.
#include "usage/UsageStore.h"

#include "sampling/ScriptedSource.h"
#include "usage/UsageRules.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace flowloom::usage;
using flowloom::sampling::ScriptedSource;
namespace fs = std::filesystem;

namespace {
struct TempFolder
{
    fs::path path = fs::temp_directory_path() /
                    ("flowloom-store-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempFolder()
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
    fs::path file() const { return path / "flowloom-history.sqlite"; }
    std::set<std::string> names() const
    {
        std::set<std::string> result;
        for (const auto& entry : fs::directory_iterator(path))
            result.insert(entry.path().filename().string());
        return result;
    }
};

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

std::vector<std::string> storedDays(const fs::path& file)
{
    std::vector<std::string> keys;
    auto reader = UsageStore::open(file);
    for (const DayUsage& day : reader->days(kEth, "0000-01-01", "9999-12-31", {}))
        keys.push_back(day.day);
    return keys;
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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
        writeDays(folder.file(), c.stored);
        ASSERT_TRUE(UsageStore::prepare(folder.file(), c.now).ready);
        EXPECT_EQ(storedDays(folder.file()), c.kept);
    }
}

TEST(UsageStore, AFileHeldLockedIsLeftAsItIsAndWorthTryingAgain)
{
    for (const bool readersToo : {false, true}) {
        SCOPED_TRACE(readersToo ? "held exclusively" : "held by a writer");
        TempFolder folder;
        writeDays(folder.file(), {at(2026, 12, 1), at(2026, 12, 2)});
        HeldLock lock(folder.file(), readersToo);
        auto reader = UsageStore::open(folder.file());

        const StoreReport report = UsageStore::prepare(folder.file(), at(2026, 12, 3));
        EXPECT_FALSE(report.ready);
        EXPECT_TRUE(report.retry);
        EXPECT_TRUE(report.movedTo.empty());
        EXPECT_NE(report.message.find("tried again every minute"), std::string::npos)
            << report.message;
        const auto days = reader->days(kEth, "0000-01-01", "9999-12-31", {});
        EXPECT_EQ(reader->lastReadComplete(), !readersToo);
        EXPECT_EQ(days.size(), readersToo ? 0u : 2u);

        lock.release();
        EXPECT_TRUE(UsageStore::prepare(folder.file(), at(2026, 12, 3)).ready);
        EXPECT_EQ(reader->days(kEth, "0000-01-01", "9999-12-31", {}).size(), 2u);
        EXPECT_TRUE(reader->lastReadComplete());
        reader.reset();
        EXPECT_EQ(folder.names(), (std::set<std::string>{"flowloom-history.sqlite"}));
    }
}

TEST(UsageStore, WhatWasAtThePathBeforeTheStartIsNeverRemoved)
{
    struct Case
    {
        const char* what;
        std::function<void(const TempFolder&)> make;
        bool retry;
    };
    const Case cases[] = {
        {"a link into a drive that is not there",
         [](const TempFolder& f) {
             fs::create_symlink(f.path / "unmounted" / "h.sqlite", f.file());
         },
         true},
        {"a link to a missing file in a folder that is there",
         [](const TempFolder& f) { fs::create_symlink(f.path / "gone.sqlite", f.file()); }, true},
        {"a folder", [](const TempFolder& f) { fs::create_directory(f.file()); }, false},
        {"a link to a damaged file",
         [](const TempFolder& f) {
             std::ofstream(f.path / "elsewhere.sqlite", std::ios::binary) << std::string(4000, 'x');
             fs::create_symlink(f.path / "elsewhere.sqlite", f.file());
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        c.make(folder);
        const auto before = folder.names();
        const fs::file_type type = fs::symlink_status(folder.file()).type();

        const StoreReport report = UsageStore::prepare(folder.file(), at(2026, 12, 3));
        EXPECT_FALSE(report.ready);
        EXPECT_EQ(report.retry, c.retry);
        EXPECT_FALSE(report.message.empty());
        EXPECT_EQ(folder.names(), before) << "nothing removed, moved or made beside it";
        EXPECT_EQ(fs::symlink_status(folder.file()).type(), type);
    }
    // A damaged file behind the link is left as it was.
    TempFolder folder;
    std::ofstream(folder.path / "elsewhere.sqlite", std::ios::binary) << std::string(4000, 'x');
    fs::create_symlink(folder.path / "elsewhere.sqlite", folder.file());
    UsageStore::prepare(folder.file(), at(2026, 12, 3));
    EXPECT_EQ(contents(folder.path / "elsewhere.sqlite"), std::string(4000, 'x'));
}

TEST(UsageStore, AHistoryBehindALinkIsUsedThroughIt)
{
    TempFolder folder;
    const fs::path target = folder.path / "drive" / "history.sqlite";
    fs::create_directories(target.parent_path());
    writeDays(target, {at(2026, 12, 1)});
    fs::create_symlink(target, folder.file());
    ASSERT_TRUE(UsageStore::prepare(folder.file(), at(2026, 12, 3)).ready);
    writeDays(folder.file(), {at(2026, 12, 3)});
    EXPECT_TRUE(fs::is_symlink(folder.file()));
    EXPECT_EQ(storedDays(target), (std::vector<std::string>{"2026-12-01", "2026-12-03"}));
}

TEST(UsageStore, ANewHistoryIsReadableByItsOwnerOnlyAndAnOldOneKeepsItsMode)
{
    TempFolder folder;
    const fs::path wal = folder.path / "flowloom-history.sqlite-wal";
    const fs::path shm = folder.path / "flowloom-history.sqlite-shm";
    {
        writeDays(folder.file(), {at(2026, 12, 1)});
        auto held = UsageStore::open(folder.file()); // keeps the companions there
        EXPECT_EQ(storedDays(folder.file()).size(), 1u);
        EXPECT_EQ(modeOf(folder.file()), 0600u);
        ASSERT_TRUE(fs::exists(wal));
        EXPECT_EQ(modeOf(wal), 0600u);
        ASSERT_TRUE(fs::exists(shm));
        EXPECT_EQ(modeOf(shm), 0600u);
    }
    // The user chose other bits for the file: they stay, and its companions follow.
    fs::remove(wal);
    fs::remove(shm);
    ASSERT_EQ(::chmod(folder.file().c_str(), 0640), 0);
    writeDays(folder.file(), {at(2026, 12, 2)});
    auto held = UsageStore::open(folder.file());
    EXPECT_EQ(storedDays(folder.file()).size(), 2u);
    EXPECT_EQ(modeOf(folder.file()), 0640u);
    ASSERT_TRUE(fs::exists(wal));
    EXPECT_EQ(modeOf(wal), 0640u);
}

TEST(UsageStore, AReadOnlyConnectionReadsWhatIsCommittedAndRefusesWhatIsNoHistory)
{
    const TempFolder folder;
    std::string reason;
    EXPECT_FALSE(UsageStore::openReadOnly(folder.file(), reason));
    EXPECT_EQ(reason, "there is no such file");
    EXPECT_FALSE(fs::exists(folder.file())) << "a read-only open makes nothing";
    EXPECT_FALSE(UsageStore::openReadOnly(folder.path, reason));
    EXPECT_EQ(reason, "it is not a file");

    // The same name with two adapters: the one used last comes first.
    const InterfaceIdentity older{"eth0", "02-00-00-00-00-77"};
    ASSERT_NE(older, kEth);
    writeDays(folder.file(), {at(2026, 12, 1), at(2026, 12, 3)});
    {
        auto writer = UsageStore::open(folder.file());
        UsageBatch batch;
        batch.seq = writer->writtenSeq() + 1;
        batch.days.push_back(DayDelta{older, "2026-11-20", 5, 5});
        std::string error;
        ASSERT_TRUE(writer->write({batch}, error)) << error;
    }
    const auto reader = UsageStore::openReadOnly(folder.file(), reason);
    ASSERT_TRUE(reader) << reason;
    EXPECT_EQ(reader->identitiesNamed("eth0"), (std::vector<InterfaceIdentity>{kEth, older}));
    EXPECT_TRUE(reader->identitiesNamed("wlan0").empty());
    EXPECT_TRUE(reader->lastReadComplete());
    EXPECT_EQ(reader->days(kEth, "2026-12-01", "2026-12-31", {}).size(), 2u);
    std::string error;
    EXPECT_FALSE(reader->write({UsageBatch{99, {{kEth, "2026-12-04", 1, 1}}, {}}}, error))
        << "it writes nothing";

    // Another program's database, and bytes that are none.
    const fs::path other = folder.path / "other.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(UsageStore::openReadOnly(other, reason));
    EXPECT_EQ(reason, "it is not a usage history");
    std::ofstream(folder.path / "text.sqlite") << "just some text, long enough to be a header";
    EXPECT_FALSE(UsageStore::openReadOnly(folder.path / "text.sqlite", reason));
    EXPECT_FALSE(reason.empty());
}
