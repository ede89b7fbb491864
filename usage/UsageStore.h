#pragma once

#include "sampling/DateTime.h"
#include "usage/UsageBatch.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace flowloom::usage {

using sampling::DateTime;

struct DayUsage
{
    std::string day; // dayKey
    std::uint64_t in = 0;
    std::uint64_t out = 0;

    bool operator==(const DayUsage&) const = default;
};

// One application's bytes over a range of days.
struct ApplicationUsage
{
    std::string application;
    int kind = 0;
    std::uint64_t in = 0;
    std::uint64_t out = 0;

    bool operator==(const ApplicationUsage&) const = default;
};

struct PeriodUsage
{
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    int warned = 0;
};

// What opening the history found. A file that is not a usable history is
// never written over: it is moved aside, or left alone with a message. What
// was at the path before (a file, a folder, a link, dangling or not) is never
// removed, and a link is never replaced by a file beside it.
struct StoreReport
{
    bool ready = false;
    // Not usable for now only (locked by another program, or a link whose
    // target cannot be reached): worth trying again later.
    bool retry = false;
    std::string message;           // for the user; empty when all went well
    std::filesystem::path movedTo; // where a damaged file went
};

// The usage history in an SQLite database (WAL): bytes per interface and
// local day, and per billing period. One connection; the program keeps one
// for its background writer and one for reading on the user-interface thread.
// Readers pass the batches still held in memory (not yet written, or written
// but not yet confirmed); each read adds exactly those not in the snapshot it
// read.
class UsageStore
{
public:
    // Days are kept at least this long (more than three years).
    static constexpr int kKeptDays = 5 * 366;

    // Opens or creates the database at `path` (created 0600: it tells what the
    // user did and when) and prunes days older than kKeptDays before `now`,
    // or before the newest stored day while `now` is more than a day past it
    // (a clock far ahead never takes real days with it). A file that is
    // damaged or not a history is moved beside itself with a time stamp and a
    // fresh one is created.
    static StoreReport prepare(const std::filesystem::path& path, const DateTime& now);
    // A connection to a prepared database, or nothing.
    static std::unique_ptr<UsageStore> open(const std::filesystem::path& path);
    // A read-only connection to a history another program may be writing:
    // it takes no lock and writes nothing. Nothing, with the reason, when
    // the file is missing, unreadable, damaged or not a usage history.
    static std::unique_ptr<UsageStore> openReadOnly(const std::filesystem::path& path,
                                                    std::string& reason);

    ~UsageStore();
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    // Adds the batches not written yet in one transaction. False, with the
    // reason, when nothing was written.
    bool write(const std::vector<UsageBatch>& batches, std::string& error);
    // The number of the last batch written.
    std::uint64_t writtenSeq();

    // Days of one interface from `from` to `to` (day keys, both included),
    // oldest first; only days with a record.
    std::vector<DayUsage> days(const InterfaceIdentity& identity, const std::string& from,
                               const std::string& to, const std::vector<UsageBatch>& unsaved);
    // Every application's bytes on one interface from `from` to `to` (day
    // keys, both included), by name and kind.
    std::vector<ApplicationUsage> applications(const InterfaceIdentity& identity,
                                               const std::string& from, const std::string& to,
                                               const std::vector<UsageBatch>& unsaved);
    // One billing period's usage, or nothing when it has no record.
    std::optional<PeriodUsage> period(const InterfaceIdentity& identity, const std::string& start,
                                      const std::vector<UsageBatch>& unsaved);
    // The identities of that name in the history, the one with the newest
    // day first (an interface renamed or re-plugged has one per adapter).
    std::vector<InterfaceIdentity> identitiesNamed(const std::string& name);
    // False when the last days(), period() or identitiesNamed() could not read the file (it was
    // locked past the busy time-out): that answer held what is in memory only.
    bool lastReadComplete() const { return m_readComplete; }

    // How long a connection waits for another program's lock.
    static constexpr int kBusyTimeoutMs = 2000;

private:
    explicit UsageStore(sqlite3* db) : m_db(db) {}
    std::optional<std::uint64_t> readWrittenSeq();

    sqlite3* m_db;
    bool m_readComplete = true;
};

// The history file of a settings file: beside it, named after it.
std::filesystem::path historyPathFor(const std::filesystem::path& settingsFile);

} // namespace flowloom::usage
