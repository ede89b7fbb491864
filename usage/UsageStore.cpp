#include "usage/UsageStore.h"

#include "sampling/UniqueFd.h"
#include "usage/UsageRules.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace flowloom::usage {

namespace fs = std::filesystem;

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kApplicationId = 0x466C6F77; // "Flow"
constexpr std::int64_t kLargest = INT64_MAX;

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS interfaces(id INTEGER PRIMARY KEY, name TEXT NOT NULL,
    address TEXT NOT NULL, UNIQUE(name, address));
CREATE TABLE IF NOT EXISTS days(interface INTEGER NOT NULL, day TEXT NOT NULL,
    download INTEGER NOT NULL, upload INTEGER NOT NULL,
    PRIMARY KEY(interface, day)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS periods(interface INTEGER NOT NULL, start TEXT NOT NULL,
    download INTEGER NOT NULL, upload INTEGER NOT NULL, warned INTEGER NOT NULL,
    PRIMARY KEY(interface, start)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS app_days(interface INTEGER NOT NULL, day TEXT NOT NULL,
    kind INTEGER NOT NULL, application TEXT NOT NULL,
    download INTEGER NOT NULL, upload INTEGER NOT NULL,
    PRIMARY KEY(interface, day, kind, application)) WITHOUT ROWID;
INSERT OR IGNORE INTO meta(key, value) VALUES('written', 0);
)";

// Sums that stop at the largest stored number instead of turning into reals.
#define FLOWLOOM_ADD(column)                                                                       \
    column " = CASE WHEN " column " > 9223372036854775807 - excluded." column                      \
           " THEN 9223372036854775807 ELSE " column " + excluded." column " END"

const char* const kAddDay = "INSERT INTO days(interface, day, download, upload) VALUES(?1, ?2, ?3, "
                            "?4) ON CONFLICT(interface, day) DO UPDATE SET " FLOWLOOM_ADD(
                                "download") ", " FLOWLOOM_ADD("upload");
const char* const kAddApplicationDay =
    "INSERT INTO app_days(interface, day, kind, application, download, upload) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(interface, day, kind, application) DO UPDATE "
    "SET " FLOWLOOM_ADD("download") ", " FLOWLOOM_ADD("upload");
const char* const kAddPeriod =
    "INSERT INTO periods(interface, start, download, upload, warned) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(interface, start) DO UPDATE SET " FLOWLOOM_ADD("download") ", " FLOWLOOM_ADD(
        "upload") ", warned = max(warned, excluded.warned)";
#undef FLOWLOOM_ADD

const char* const kIdentityId = "SELECT id FROM interfaces WHERE name = ?1 AND address = ?2";

std::int64_t stored(std::uint64_t value)
{
    return value > static_cast<std::uint64_t>(kLargest) ? kLargest
                                                        : static_cast<std::int64_t>(value);
}

std::uint64_t loaded(sqlite3_int64 value)
{
    return value < 0 ? 0 : static_cast<std::uint64_t>(value);
}

// One prepared statement, finalised on every path.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        m_status = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_status == SQLITE_OK && m_stmt != nullptr; }
    Statement& bind(int at, std::int64_t value)
    {
        sqlite3_bind_int64(m_stmt, at, value);
        return *this;
    }
    Statement& bind(int at, const std::string& text)
    {
        sqlite3_bind_text(m_stmt, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return ok() ? sqlite3_step(m_stmt) : m_status; }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column) const
    {
        const auto* bytes = sqlite3_column_text(m_stmt, column);
        return bytes ? reinterpret_cast<const char*>(bytes) : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_status = SQLITE_ERROR;
};

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A read or write transaction that rolls back unless committed.
class Transaction
{
public:
    Transaction(sqlite3* db, const char* begin) : m_db(db), m_open(exec(db, begin)) {}
    ~Transaction()
    {
        if (m_open)
            exec(m_db, "ROLLBACK");
    }
    bool open() const { return m_open; }
    bool commit()
    {
        m_open = false;
        if (exec(m_db, "COMMIT"))
            return true;
        exec(m_db, "ROLLBACK");
        return false;
    }

private:
    sqlite3* m_db;
    bool m_open;
};

struct Connection
{
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
    sqlite3* release() { return std::exchange(db, nullptr); }
};

// SQLite hands each connection a first block of 20 cache pages (some 90 KB)
// at its first read. A history grows by a few pages a day and the program
// reads little of it back, so its pages are taken one by one as read. Set
// before SQLite's first use; a later call changes nothing.
void takeCachePagesAsRead()
{
    static std::once_flag once;
    std::call_once(once, [] { (void)sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0); });
}

int openConnection(const fs::path& path, bool create, Connection& connection)
{
    takeCachePagesAsRead();
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int status = sqlite3_open_v2(path.c_str(), &connection.db, flags, nullptr);
    if (status == SQLITE_OK) {
        sqlite3_extended_result_codes(connection.db, 0);
        sqlite3_busy_timeout(connection.db, UsageStore::kBusyTimeoutMs);
    }
    return status;
}

int pragmaNumber(sqlite3* db, const char* sql)
{
    Statement query(db, sql);
    return query.step() == SQLITE_ROW ? static_cast<int>(query.integer(0)) : -1;
}

enum class Check { Good, Damaged, Unusable };

// Whether an existing file is a history this program can use. A file that
// is not a database, is damaged, or holds someone else's tables is Damaged;
// one that cannot be reached (permissions, locks, a newer history) is Unusable.
Check check(sqlite3* db, std::string& reason)
{
    const int application = pragmaNumber(db, "PRAGMA application_id");
    const int version = pragmaNumber(db, "PRAGMA user_version");
    if (application < 0 || version < 0) {
        reason = sqlite3_errmsg(db);
        const int code = sqlite3_errcode(db);
        return code == SQLITE_NOTADB || code == SQLITE_CORRUPT ? Check::Damaged : Check::Unusable;
    }
    Statement quick(db, "PRAGMA quick_check");
    const int quickStatus = quick.step();
    if (quickStatus == SQLITE_BUSY || quickStatus == SQLITE_LOCKED) {
        reason = sqlite3_errmsg(db); // locked meanwhile: not a sign of damage
        return Check::Unusable;
    }
    if (quickStatus != SQLITE_ROW || quick.text(0) != "ok") {
        reason = quick.ok() ? quick.text(0) : std::string(sqlite3_errmsg(db));
        return Check::Damaged;
    }
    const bool empty = pragmaNumber(db, "SELECT count(*) FROM sqlite_schema") == 0;
    if (!empty && application != kApplicationId) {
        reason = "it is not a usage history";
        return Check::Damaged;
    }
    if (version > kSchemaVersion) {
        reason = "it was written by a newer version of Flowloom";
        return Check::Unusable;
    }
    return Check::Good;
}

bool createSchema(sqlite3* db, std::string& reason)
{
    const std::string setup = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                              "PRAGMA application_id=" +
                              std::to_string(kApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    // WAL is the reply of the journal_mode pragma; exec ignores rows.
    if (!exec(db, setup.c_str()) || !exec(db, kSchema)) {
        reason = sqlite3_errmsg(db);
        return false;
    }
    // The statements the program uses must compile against what is there.
    for (const char* sql : {kAddDay, kAddPeriod, kAddApplicationDay, kIdentityId}) {
        if (!Statement(db, sql).ok()) {
            reason = sqlite3_errmsg(db);
            return false;
        }
    }
    return true;
}

// Renames without ever replacing an existing file.
bool renameNew(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    // A file system without that flag: look first (one program per history).
    std::error_code ec;
    if (fs::exists(to, ec)) {
        errno = EEXIST;
        return false;
    }
    fs::rename(from, to, ec);
    return !ec;
}

// Moves the file (and its WAL companions) to "<name>.damaged-yyyymmdd-hhnnss",
// numbered when that name is taken. The new name, or empty when it failed.
fs::path moveAside(const fs::path& path, const DateTime& now)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, ".damaged-%04d%02d%02d-%02d%02d%02d", now.year % 10000,
                  now.month % 100, now.day % 100, now.hour % 100, now.minute % 100,
                  now.second % 100);
    for (int n = 1; n < 1000; ++n) {
        fs::path target = path;
        target += stamp;
        if (n > 1) {
            target += "-";
            target += std::to_string(n);
        }
        if (renameNew(path, target)) {
            for (const char* companion : {"-wal", "-shm", "-journal"}) {
                fs::path from = path;
                from += companion;
                fs::path to = target;
                to += companion;
                renameNew(from, to); // a missing companion is fine
            }
            return target;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Days older than kKeptDays before today go, and the periods that began
// before them. A clock more than a day past the newest stored day (a dead
// clock battery, a bad time answer) is not trusted: the newest stored day
// stands for today then, so a wrong clock never takes real days with it.
void prune(sqlite3* db, const DateTime& now)
{
    Statement newestDay(db, "SELECT max(day) FROM days");
    if (newestDay.step() != SQLITE_ROW)
        return;
    const std::optional<DateTime> newest = parseDayKey(newestDay.text(0));
    if (!newest)
        return; // no days: nothing to prune
    const DateTime reference = dayKey(now) > dayKey(addDays(*newest, 1)) ? *newest : now;
    const std::string oldest = dayKey(addDays(reference, -UsageStore::kKeptDays));
    Statement days(db, "DELETE FROM days WHERE day < ?1");
    days.bind(1, oldest).step();
    Statement periods(db, "DELETE FROM periods WHERE start < ?1");
    periods.bind(1, oldest).step();
    Statement applications(db, "DELETE FROM app_days WHERE day < ?1");
    applications.bind(1, oldest).step();
}

fs::path withSuffix(const fs::path& path, const char* suffix)
{
    fs::path result = path;
    result += suffix;
    return result;
}

// Whether anything is at `path`: a file, a folder, a link (dangling or not),
// or something that cannot even be looked at.
bool occupied(const fs::path& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool isLink(const fs::path& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The history file and the companions SQLite keeps beside it. Only those that
// this start made (nothing was at their path before) may be removed again.
class MadeFiles
{
public:
    explicit MadeFiles(const fs::path& path) : m_path(path)
    {
        for (std::size_t i = 0; i < kSuffixes.size(); ++i)
            m_before[i] = occupied(withSuffix(path, kSuffixes[i]));
    }
    bool existed() const { return m_before[0]; }
    void remove() const
    {
        for (std::size_t i = 0; i < kSuffixes.size(); ++i) {
            const fs::path made = withSuffix(m_path, kSuffixes[i]);
            struct stat info;
            if (!m_before[i] && ::lstat(made.c_str(), &info) == 0 && S_ISREG(info.st_mode))
                ::unlink(made.c_str());
        }
    }

private:
    static constexpr std::array<const char*, 4> kSuffixes{"", "-wal", "-shm", "-journal"};
    fs::path m_path;
    std::array<bool, 4> m_before{};
};

// Makes the empty history file, readable by its owner only; SQLite gives its
// companions the same mode. Empty when it was made, else the reason.
std::string createPrivateFile(const fs::path& path)
{
    sampling::UniqueFd file(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid())
        return std::strerror(errno);
    return file.close() ? std::string() : std::string(std::strerror(errno));
}

bool worthRetrying(int code, bool link)
{
    return code == SQLITE_BUSY || code == SQLITE_LOCKED || (code == SQLITE_CANTOPEN && link);
}

template <typename Each>
void forUnsaved(const std::vector<UsageBatch>& unsaved, std::uint64_t written, Each each)
{
    for (const UsageBatch& batch : unsaved) {
        if (batch.seq > written)
            each(batch);
    }
}

} // namespace

fs::path historyPathFor(const fs::path& settingsFile)
{
    return settingsFile.parent_path() / (settingsFile.stem().string() + "-history.sqlite");
}

StoreReport UsageStore::prepare(const fs::path& path, const DateTime& now)
{
    StoreReport report;
    const MadeFiles made(path);
    const bool existed = made.existed();
    const bool link = isLink(path);
    std::string reason;
    int code = SQLITE_OK;
    Check state = Check::Good;
    if (!existed) {
        reason = createPrivateFile(path);
        if (!reason.empty()) {
            state = Check::Unusable;
            code = SQLITE_CANTOPEN;
        }
    }
    if (state == Check::Good) {
        // Never created by SQLite: a dangling link stays dangling.
        Connection connection;
        const int status = openConnection(path, false, connection) & 0xff;
        if (status != SQLITE_OK) {
            reason = connection.db ? sqlite3_errmsg(connection.db) : sqlite3_errstr(status);
            code = status;
            state = status == SQLITE_NOTADB || status == SQLITE_CORRUPT ? Check::Damaged
                                                                        : Check::Unusable;
        } else if (existed) {
            state = check(connection.db, reason);
            code = sqlite3_errcode(connection.db);
        }
        if (state == Check::Good && !createSchema(connection.db, reason)) {
            code = sqlite3_errcode(connection.db);
            state = code == SQLITE_NOTADB || code == SQLITE_CORRUPT || code == SQLITE_ERROR
                        ? Check::Damaged
                        : Check::Unusable;
        }
        if (state == Check::Good) {
            prune(connection.db, now);
            report.ready = true;
            return report;
        }
    }
    if (!existed) {
        made.remove(); // nothing of the user's: what this start made goes
        report.message = "The usage history " + path.string() + " cannot be used (" + reason +
                         "); history is not recorded in this run.";
        return report;
    }
    if (state == Check::Unusable) {
        report.retry = worthRetrying(code, link);
        report.message =
            report.retry
                ? "The usage history " + path.string() + " cannot be used at the moment (" +
                      reason +
                      "). It is tried again every minute; the usage counted meanwhile is kept "
                      "and written once it opens."
                : "The usage history " + path.string() + " cannot be used (" + reason +
                      "); history is not recorded in this run.";
        return report;
    }
    if (link) {
        // Moving the link aside and starting a file beside it would split the history.
        report.message = "The usage history " + path.string() + " is damaged (" + reason +
                         "). It is a link, so it is left as it is; history is not recorded in "
                         "this run.";
        return report;
    }
    // Damaged: keep it for the user, and start again.
    const fs::path movedTo = moveAside(path, now);
    if (movedTo.empty()) {
        report.message = "The usage history " + path.string() + " is damaged (" + reason +
                         ") and could not be moved aside; history is not recorded in this run.";
        return report;
    }
    report.movedTo = movedTo;
    const MadeFiles fresh(path);
    bool started = false;
    if (!fresh.existed() && createPrivateFile(path).empty()) {
        Connection connection;
        std::string freshReason;
        started = openConnection(path, false, connection) == SQLITE_OK &&
                  createSchema(connection.db, freshReason);
    }
    if (!started) {
        fresh.remove();
        report.message =
            "The usage history " + path.string() + " was damaged (" + reason +
            ") and was moved to " + movedTo.string() +
            "; a new one could not be started, so history is not recorded in this run.";
        return report;
    }
    report.ready = true;
    report.message = "The usage history " + path.string() + " was damaged (" + reason +
                     "). It was moved to " + movedTo.string() + " and a new history was started.";
    return report;
}

std::unique_ptr<UsageStore> UsageStore::open(const fs::path& path)
{
    Connection connection;
    if (openConnection(path, false, connection) != SQLITE_OK)
        return nullptr;
    exec(connection.db, "PRAGMA synchronous=NORMAL");
    return std::unique_ptr<UsageStore>(new UsageStore(connection.release()));
}

std::unique_ptr<UsageStore> UsageStore::openReadOnly(const fs::path& path, std::string& reason)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        reason = fs::exists(path, error) ? "it is not a file" : "there is no such file";
        return nullptr;
    }
    Connection connection;
    takeCachePagesAsRead();
    if (sqlite3_open_v2(path.c_str(), &connection.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        reason = connection.db ? sqlite3_errmsg(connection.db) : "it cannot be opened";
        return nullptr;
    }
    sqlite3_extended_result_codes(connection.db, 0);
    sqlite3_busy_timeout(connection.db, UsageStore::kBusyTimeoutMs);
    const int application = pragmaNumber(connection.db, "PRAGMA application_id");
    const int version = pragmaNumber(connection.db, "PRAGMA user_version");
    if (application < 0 || version < 0) {
        reason = sqlite3_errmsg(connection.db);
        return nullptr;
    }
    if (application != kApplicationId) {
        reason = "it is not a usage history";
        return nullptr;
    }
    if (version > kSchemaVersion) {
        reason = "it was written by a newer version of Flowloom";
        return nullptr;
    }
    Statement quick(connection.db, "PRAGMA quick_check");
    if (quick.step() != SQLITE_ROW || quick.text(0) != "ok") {
        reason = quick.ok() ? "it is damaged (" + quick.text(0) + ")"
                            : std::string(sqlite3_errmsg(connection.db));
        return nullptr;
    }
    for (const char* sql : {kIdentityId, "SELECT day, download, upload FROM days",
                            "SELECT start, download, upload, warned FROM periods",
                            "SELECT value FROM meta WHERE key = 'written'"}) {
        if (!Statement(connection.db, sql).ok()) {
            reason = "it is damaged (" + std::string(sqlite3_errmsg(connection.db)) + ")";
            return nullptr;
        }
    }
    return std::unique_ptr<UsageStore>(new UsageStore(connection.release()));
}

std::vector<InterfaceIdentity> UsageStore::identitiesNamed(const std::string& name)
{
    std::vector<InterfaceIdentity> found;
    Statement query(m_db, "SELECT name, address FROM interfaces i WHERE name = ?1 ORDER BY "
                          "(SELECT max(day) FROM days d WHERE d.interface = i.id) DESC, id DESC");
    query.bind(1, name);
    int status = SQLITE_ERROR;
    while ((status = query.step()) == SQLITE_ROW)
        found.push_back({query.text(0), query.text(1)});
    m_readComplete = status == SQLITE_DONE;
    return found;
}

UsageStore::~UsageStore()
{
    sqlite3_close_v2(m_db);
}

std::optional<std::uint64_t> UsageStore::readWrittenSeq()
{
    Statement query(m_db, "SELECT value FROM meta WHERE key = 'written'");
    if (query.step() != SQLITE_ROW)
        return std::nullopt;
    return loaded(query.integer(0));
}

std::uint64_t UsageStore::writtenSeq()
{
    return readWrittenSeq().value_or(0);
}

bool UsageStore::write(const std::vector<UsageBatch>& batches, std::string& error)
{
    Transaction transaction(m_db, "BEGIN IMMEDIATE");
    if (!transaction.open()) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    const std::uint64_t written = writtenSeq();
    Statement addName(m_db, "INSERT OR IGNORE INTO interfaces(name, address) VALUES(?1, ?2)");
    Statement findId(m_db, kIdentityId);
    Statement addDay(m_db, kAddDay);
    Statement addPeriod(m_db, kAddPeriod);
    Statement addApplication(m_db, kAddApplicationDay);
    Statement setWritten(m_db, "UPDATE meta SET value = ?1 WHERE key = 'written'");
    std::map<InterfaceIdentity, std::int64_t> ids;
    bool ok = addName.ok() && findId.ok() && addDay.ok() && addPeriod.ok() && addApplication.ok() &&
              setWritten.ok();
    auto idOf = [&](const InterfaceIdentity& identity) -> std::int64_t {
        if (const auto known = ids.find(identity); known != ids.end())
            return known->second;
        addName.bind(1, identity.name).bind(2, identity.address);
        ok = ok && addName.step() == SQLITE_DONE;
        addName.reset();
        findId.bind(1, identity.name).bind(2, identity.address);
        const std::int64_t id = findId.step() == SQLITE_ROW ? findId.integer(0) : -1;
        findId.reset();
        ok = ok && id >= 0;
        ids.emplace(identity, id);
        return id;
    };
    std::uint64_t last = written;
    forUnsaved(batches, written, [&](const UsageBatch& batch) {
        for (const DayDelta& d : batch.days) {
            addDay.bind(1, idOf(d.identity))
                .bind(2, d.day)
                .bind(3, stored(d.in))
                .bind(4, stored(d.out));
            ok = ok && addDay.step() == SQLITE_DONE;
            addDay.reset();
        }
        for (const PeriodDelta& p : batch.periods) {
            addPeriod.bind(1, idOf(p.identity))
                .bind(2, p.start)
                .bind(3, stored(p.in))
                .bind(4, stored(p.out))
                .bind(5, std::int64_t{p.warned});
            ok = ok && addPeriod.step() == SQLITE_DONE;
            addPeriod.reset();
        }
        for (const ApplicationDayDelta& a : batch.applications) {
            addApplication.bind(1, idOf(a.identity))
                .bind(2, a.day)
                .bind(3, std::int64_t{a.kind})
                .bind(4, a.application)
                .bind(5, stored(a.in))
                .bind(6, stored(a.out));
            ok = ok && addApplication.step() == SQLITE_DONE;
            addApplication.reset();
        }
        last = std::max(last, batch.seq);
    });
    setWritten.bind(1, stored(last));
    ok = ok && setWritten.step() == SQLITE_DONE;
    if (!ok) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    if (!transaction.commit()) {
        error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

std::vector<DayUsage> UsageStore::days(const InterfaceIdentity& identity, const std::string& from,
                                       const std::string& to,
                                       const std::vector<UsageBatch>& unsaved)
{
    std::map<std::string, DayUsage> byDay;
    std::uint64_t written = 0;
    {
        // One snapshot for the days and the number of the last batch in them.
        Transaction transaction(m_db, "BEGIN");
        const std::optional<std::uint64_t> seq = readWrittenSeq();
        Statement query(m_db, "SELECT day, download, upload FROM days WHERE interface = "
                              "(SELECT id FROM interfaces WHERE name = ?1 AND address = ?2) "
                              "AND day BETWEEN ?3 AND ?4");
        query.bind(1, identity.name).bind(2, identity.address).bind(3, from).bind(4, to);
        int status = SQLITE_ERROR;
        while (seq && (status = query.step()) == SQLITE_ROW) {
            const std::string day = query.text(0);
            byDay[day] = {day, loaded(query.integer(1)), loaded(query.integer(2))};
        }
        m_readComplete = transaction.open() && seq && status == SQLITE_DONE;
        if (!m_readComplete)
            byDay.clear(); // nothing half read
        written = seq.value_or(0);
    }
    forUnsaved(unsaved, written, [&](const UsageBatch& batch) {
        for (const DayDelta& d : batch.days) {
            if (d.identity != identity || d.day < from || d.day > to)
                continue;
            DayUsage& day = byDay[d.day];
            day.day = d.day;
            day.in = saturatingAdd(day.in, d.in);
            day.out = saturatingAdd(day.out, d.out);
        }
    });
    std::vector<DayUsage> result;
    result.reserve(byDay.size());
    for (auto& [key, day] : byDay)
        result.push_back(std::move(day));
    return result;
}

std::vector<ApplicationUsage> UsageStore::applications(const InterfaceIdentity& identity,
                                                       const std::string& from,
                                                       const std::string& to,
                                                       const std::vector<UsageBatch>& unsaved)
{
    std::map<std::pair<std::string, int>, ApplicationUsage> byName;
    std::uint64_t written = 0;
    {
        Transaction transaction(m_db, "BEGIN");
        const std::optional<std::uint64_t> seq = readWrittenSeq();
        Statement query(m_db, "SELECT application, kind, sum(download), sum(upload) FROM app_days "
                              "WHERE interface = (SELECT id FROM interfaces WHERE name = ?1 AND "
                              "address = ?2) AND day BETWEEN ?3 AND ?4 GROUP BY application, kind");
        query.bind(1, identity.name).bind(2, identity.address).bind(3, from).bind(4, to);
        int status = SQLITE_ERROR;
        while (seq && (status = query.step()) == SQLITE_ROW) {
            ApplicationUsage usage{query.text(0), static_cast<int>(query.integer(1)),
                                   loaded(query.integer(2)), loaded(query.integer(3))};
            byName[{usage.application, usage.kind}] = usage;
        }
        m_readComplete = transaction.open() && seq && status == SQLITE_DONE;
        if (!m_readComplete)
            byName.clear();
        written = seq.value_or(0);
    }
    forUnsaved(unsaved, written, [&](const UsageBatch& batch) {
        for (const ApplicationDayDelta& a : batch.applications) {
            if (a.identity != identity || a.day < from || a.day > to)
                continue;
            ApplicationUsage& usage = byName[{a.application, a.kind}];
            usage.application = a.application;
            usage.kind = a.kind;
            usage.in = saturatingAdd(usage.in, a.in);
            usage.out = saturatingAdd(usage.out, a.out);
        }
    });
    std::vector<ApplicationUsage> result;
    result.reserve(byName.size());
    for (auto& [key, usage] : byName)
        result.push_back(std::move(usage));
    return result;
}

std::optional<PeriodUsage> UsageStore::period(const InterfaceIdentity& identity,
                                              const std::string& start,
                                              const std::vector<UsageBatch>& unsaved)
{
    std::optional<PeriodUsage> usage;
    std::uint64_t written = 0;
    {
        Transaction transaction(m_db, "BEGIN");
        const std::optional<std::uint64_t> seq = readWrittenSeq();
        Statement query(m_db, "SELECT download, upload, warned FROM periods WHERE interface = "
                              "(SELECT id FROM interfaces WHERE name = ?1 AND address = ?2) "
                              "AND start = ?3");
        query.bind(1, identity.name).bind(2, identity.address).bind(3, start);
        const int status = seq ? query.step() : SQLITE_ERROR;
        if (status == SQLITE_ROW)
            usage = PeriodUsage{loaded(query.integer(0)), loaded(query.integer(1)),
                                static_cast<int>(query.integer(2))};
        m_readComplete =
            transaction.open() && seq && (status == SQLITE_ROW || status == SQLITE_DONE);
        written = seq.value_or(0);
    }
    forUnsaved(unsaved, written, [&](const UsageBatch& batch) {
        for (const PeriodDelta& p : batch.periods) {
            if (p.identity != identity || p.start != start)
                continue;
            if (!usage)
                usage = PeriodUsage{};
            usage->in = saturatingAdd(usage->in, p.in);
            usage->out = saturatingAdd(usage->out, p.out);
            usage->warned = std::max(usage->warned, p.warned);
        }
    });
    return usage;
}

} // namespace flowloom::usage
