// A simulated month of one-second ticks through the accounting core, with the
// faults a machine meets: late ticks and sleeps, counter restarts, 32- and
// 64-bit wraps, interfaces that come, go, return and are renamed, failed
// snapshots, wall-clock steps across midnight and across the monthly reset,
// a kill and restart from the files every day, and resets by hand. The
// cumulative totals and the history must hold exactly the injected bytes,
// less only what the last minute before each kill had not yet written.
//
// FLOWLOOM_SOAK_DAYS shortens the month (the sanitizer pass runs two days).
#include "accounting/AccountingCore.h"
#include "app/ini/SettingsFile.h"
#include "usage/UsageStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <unistd.h>

namespace flowloom::accounting {
namespace {

namespace fs = std::filesystem;
using sampling::DateTime;

constexpr std::uint64_t k32 = std::uint64_t{1} << 32;

// One interface of the simulated machine, and the bytes injected into it
// that the program has not yet read.
struct Link
{
    std::string name;
    std::uint32_t index;
    std::uint8_t mac; // 0: no hardware address (loopback)
    bool wide;
    bool exists = true;
    bool hidden = false; // missing from the table (a failed snapshot) while it exists
    std::uint64_t in = 0, out = 0;
    bool restarted = false;
    std::uint64_t unseenIn = 0, unseenOut = 0;

    sampling::TMIBIfRow row() const
    {
        sampling::TMIBIfRow r;
        r.index = index;
        r.name = name;
        if (mac != 0) {
            r.physAddrLen = 6;
            r.physAddr = {0x02, 0, 0, 0, 0, mac};
        }
        r.wideCounters = wide;
        r.inOctets = wide ? in : in % k32;
        r.outOctets = wide ? out : out % k32;
        r.inCounterReset = r.outCounterReset = restarted;
        return r;
    }
    usage::InterfaceIdentity identity() const { return usage::identityOf(row()); }
};

struct Bytes
{
    std::uint64_t in = 0, out = 0;
    void add(std::uint64_t i, std::uint64_t o)
    {
        in += i;
        out += o;
    }
};

// What the history and the totals must hold: bytes by interface and day,
// split into what a save has made durable and what is still in memory.
struct Expectation
{
    std::map<std::pair<usage::InterfaceIdentity, std::string>, Bytes> saved, unsaved;
    Bytes totals, totalsSaved;

    void saveNow()
    {
        for (const auto& [key, b] : unsaved)
            saved[key].add(b.in, b.out);
        unsaved.clear();
        totalsSaved = totals;
    }
    // Returns the bytes a kill loses.
    std::uint64_t kill()
    {
        std::uint64_t lost = 0;
        for (const auto& [key, b] : unsaved) {
            if (key.first != physicalSumIdentity())
                lost += b.in + b.out;
        }
        unsaved.clear();
        totals = totalsSaved;
        return lost;
    }
};

// The program's persistent side as the real run has it: the settings file
// with the totals, and the history database, written once a minute.
struct Program
{
    explicit Program(const fs::path& folder)
        : settings(folder / "flowloom.ini"), history(folder / "flowloom-history.sqlite"),
          values(app::SettingsFile::load(settings, {}))
    {}
    fs::path settings, history;
    app::SettingsValues values;
    usage::UtcZone zone;
    std::unique_ptr<usage::UsageStore> reader, writer;
    std::unique_ptr<usage::UsageHistory> recorded;
    std::unique_ptr<AccountingCore> core;

    void start(const sampling::TMIBIfArray& table, const DateTime& now)
    {
        ASSERT_TRUE(usage::UsageStore::prepare(history, now).ready);
        reader = usage::UsageStore::open(history);
        writer = usage::UsageStore::open(history);
        ASSERT_TRUE(reader && writer);
        recorded = std::make_unique<usage::UsageHistory>(zone);
        recorded->attach(reader.get(), writer->writtenSeq());
        core = std::make_unique<AccountingCore>(now);
        core->start(table, app::SettingsFile::loadTotals(settings, table.size(), now), now);
        core->attachHistory(recorded.get());
        core->setSelected(1);
        core->setResetRule({true, 14, 12, 0, 0}); // the 15th at noon
    }
    void save()
    {
        const std::vector<usage::UsageBatch> batches = recorded->seal();
        std::string error;
        if (!batches.empty()) {
            ASSERT_TRUE(writer->write(batches, error)) << error;
            recorded->written(batches.back().seq);
        }
        ASSERT_TRUE(app::SettingsFile::save(settings, values, core->totals().rows()).ok());
    }
    // kill -9: nothing more is written, and memory is gone.
    void kill()
    {
        core.reset();
        recorded.reset();
        reader.reset();
        writer.reset();
    }
};

int soakDays()
{
    const char* text = std::getenv("FLOWLOOM_SOAK_DAYS");
    const int days = text != nullptr ? std::atoi(text) : 30;
    return days > 0 ? days : 30;
}

// A folder in memory where one exists: a save every simulated minute must
// not wait for a disk.
fs::path workFolder()
{
    const fs::path base =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path folder = base / ("flowloom-soak-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

TEST(AccountingSoak, AMonthOfTicksWithFaultsKeepsEveryByte)
{
    const fs::path folder = workFolder();
    struct Remove
    {
        fs::path path;
        ~Remove()
        {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } removeFolder{folder};

    std::mt19937_64 random(20261208);
    auto chance = [&](std::uint64_t oneIn) { return random() % oneIn == 0; };
    auto upTo = [&](std::uint64_t most) { return random() % (most + 1); };

    std::vector<Link> links = {
        {"lo", 1, 0, true},
        {"eth0", 2, 0x10, true},   // selected
        {"wlan0", 3, 0x11, false}, // 32-bit counters
        {"eth1", 4, 0x12, true, true, false, ~std::uint64_t{0} - 3'000'000'000ull,
         ~std::uint64_t{0} - 5'000'000ull}, // about to wrap at 2^64
    };
    std::uint32_t nextIndex = 10;
    DateTime now{2026, 12, 1, 0, 0, 0};
    const int days = soakDays();
    const std::int64_t ticks = std::int64_t{days} * 86400;

    Program run(folder);
    auto table = [&] {
        sampling::TMIBIfArray rows;
        for (const Link& l : links)
            if (l.exists && !l.hidden)
                rows.push_back(l.row());
        return rows;
    };
    run.start(table(), now);

    Expectation expect;
    std::map<std::string, int> faults;
    std::uint64_t injected = 0, lost = 0;
    const DateTime started = now;
    DateTime latest = now; // the wall clock goes back and forth
    int steppedBackInMonth = 0;
    std::int64_t ticksSinceSave = 0;
    int monthlyResets = 0;

    for (std::int64_t tick = 1; tick <= ticks; ++tick) {
        // --- the world between two ticks --------------------------------------
        std::int64_t seconds = 1;
        std::uint64_t most = 200'000;
        if (chance(700)) {
            seconds = 2 + static_cast<std::int64_t>(upTo(4));
            ++faults["late tick"];
        } else if (chance(20'000)) {
            seconds = 600 + static_cast<std::int64_t>(upTo(3 * 3600));
            most = 3'000'000'000ull;
            ++faults["sleep"];
        }
        now = sampling::fromSerialSeconds(sampling::toSerialSeconds(now) + seconds);
        if (tick % 86400 == 43200) {
            // Back across midnight of the day before, and forward again later.
            now = sampling::fromSerialSeconds(sampling::toSerialSeconds(now) - 13 * 3600);
            ++faults["wall clock stepped back"];
        } else if (tick % 86400 == 50000) {
            now = sampling::fromSerialSeconds(sampling::toSerialSeconds(now) + 13 * 3600);
            ++faults["wall clock stepped forward"];
        }
        if (now.day == 15 && now.hour == 12 && now.minute == 5 && now.second < seconds &&
            now.month != steppedBackInMonth) {
            steppedBackInMonth = now.month;
            // Back across the monthly reset moment just passed.
            now = sampling::fromSerialSeconds(sampling::toSerialSeconds(now) - 600);
            ++faults["wall clock stepped back across the reset"];
        }

        if (tick % 86400 == 3600) {
            links.push_back({"usb0", nextIndex++, 0x20, true});
            ++faults["interface appeared"];
        } else if (tick % 86400 == 7200) {
            for (Link& l : links)
                if (l.name == "usb0")
                    l.exists = false;
            ++faults["interface vanished"];
        } else if (tick % 86400 == 9000) {
            // Plugged in again: a new index and fresh counters.
            std::erase_if(links, [](const Link& l) { return l.name == "usb0"; });
            links.push_back({"usb0", nextIndex++, 0x20, true});
            ++faults["interface returned"];
        } else if (tick % 86400 == 20000) {
            for (Link& l : links)
                if (l.index == 4)
                    l.name = l.name == "eth1" ? "lan1" : "eth1";
            ++faults["interface renamed"];
        } else if (tick % 86400 != 3599 && tick % 86400 != 8999 && chance(50'000)) {
            // (Not just before an interface is made: after an empty table a new
            // interface is only a base, by design.)
            for (Link& l : links)
                l.hidden = true;
            ++faults["failed snapshot"];
        }

        for (Link& l : links) {
            if (!l.exists)
                continue;
            if (l.wide && l.index != 1 && l.unseenIn + l.unseenOut == 0 && chance(30'000)) {
                l.in = l.out = 0; // the driver restarted its counters
                l.restarted = true;
                ++faults["counter restart"];
            }
            std::uint64_t in = upTo(most), out = upTo(most / 4);
            if (!l.wide) {
                // A 32-bit counter can only tell one wrap between two readings.
                in = std::min(in, k32 - 1 - l.unseenIn);
                out = std::min(out, k32 - 1 - l.unseenOut);
                if ((l.in % k32) + in >= k32)
                    ++faults["32-bit wrap"];
            } else if (l.in + in < l.in || l.out + out < l.out) {
                ++faults["64-bit wrap"];
            }
            l.in += in;
            l.out += out;
            l.unseenIn += in;
            l.unseenOut += out;
            injected += in + out;
        }

        latest = std::max(latest, now);

        // --- the tick ---------------------------------------------------------
        const TickReport report = run.core->tick(table(), now);
        if (report.monthlyReset.in || report.monthlyReset.out) {
            ++monthlyResets;
            if (report.monthlyReset.in)
                expect.totals.in = 0;
            if (report.monthlyReset.out)
                expect.totals.out = 0;
        }
        Bytes physical;
        for (Link& l : links) {
            if (!l.exists || l.hidden)
                continue;
            if (l.unseenIn + l.unseenOut != 0)
                expect.unsaved[{l.identity(), usage::dayKey(now)}].add(l.unseenIn, l.unseenOut);
            if (l.mac != 0)
                physical.add(l.unseenIn, l.unseenOut);
            if (l.index == 2)
                expect.totals.add(l.unseenIn, l.unseenOut);
            l.unseenIn = l.unseenOut = 0;
            l.restarted = false;
        }
        if (physical.in + physical.out != 0)
            expect.unsaved[{physicalSumIdentity(), usage::dayKey(now)}].add(physical.in,
                                                                            physical.out);
        for (Link& l : links)
            l.hidden = false;

        const bool handReset = chance(400'000);
        if (handReset) {
            run.core->resetIn(now);
            expect.totals.in = 0;
            ++faults["reset by hand"];
        }
        // Written once a minute, and at once after a reset.
        if (++ticksSinceSave == 60 || report.monthlyReset.in || report.monthlyReset.out ||
            handReset) {
            run.save();
            expect.saveNow();
            ticksSinceSave = 0;
        }
        const bool allRead = std::all_of(links.begin(), links.end(), [](const Link& l) {
            return l.unseenIn + l.unseenOut == 0;
        });
        if (tick % 86400 == 86400 / 3 + 17 * (tick / 86400) && allRead) {
            // kill -9, then a start from the files. What was read since the
            // last save is lost: at most the minute before the kill.
            ASSERT_LT(ticksSinceSave, 60) << "only the last minute may be lost";
            lost += expect.kill();
            run.kill();
            run.start(table(), now);
            ++faults["kill and restart"];
        }
        if (testing::Test::HasFatalFailure())
            return;
    }
    run.save();
    expect.saveNow();

    // --- every byte where it belongs ------------------------------------------
    std::uint64_t invented = 0, missing = 0, stored = 0;
    std::map<usage::InterfaceIdentity, std::map<std::string, Bytes>> byInterface;
    for (const auto& [key, b] : expect.saved)
        byInterface[key.first][key.second] = b;
    for (const auto& [identity, expectedDays] : byInterface) {
        const std::vector<usage::DayUsage> storedDays =
            run.writer->days(identity, "0000-01-01", "9999-12-31", {});
        std::map<std::string, Bytes> found;
        for (const usage::DayUsage& d : storedDays) {
            found[d.day] = {d.in, d.out};
            if (identity != physicalSumIdentity())
                stored += d.in + d.out;
        }
        for (const auto& [day, b] : expectedDays) {
            const Bytes f = found[day];
            EXPECT_EQ(f.in, b.in) << identity.name << " " << day;
            EXPECT_EQ(f.out, b.out) << identity.name << " " << day;
            if (identity != physicalSumIdentity()) {
                invented += (f.in > b.in ? f.in - b.in : 0) + (f.out > b.out ? f.out - b.out : 0);
                missing += (f.in < b.in ? b.in - f.in : 0) + (f.out < b.out ? b.out - f.out : 0);
            }
        }
        for (const auto& [day, f] : found)
            EXPECT_TRUE(expectedDays.count(day)) << identity.name << " has an invented day " << day;
    }
    const sampling::InterfaceTotals& totals = run.core->totals().at(1);
    EXPECT_EQ(totals.totalIn, expect.totals.in);
    EXPECT_EQ(totals.totalOut, expect.totals.out);
    EXPECT_EQ(stored + lost, injected) << "every injected byte is stored or lost to a kill";
    int moments = 0; // reset moments the wall clock passed: the 15th at noon
    for (DateTime m{2026, 12, 15, 12, 0, 0}; m <= latest;
         m = m.month == 12 ? DateTime{m.year + 1, 1, 15, 12, 0, 0}
                           : DateTime{m.year, m.month + 1, 15, 12, 0, 0})
        moments += started < m;
    EXPECT_EQ(monthlyResets, moments) << "one reset per period, never two";

    std::printf("soak: %lld ticks over %d days, %zu interfaces seen\n",
                static_cast<long long>(ticks), days, byInterface.size() - 1);
    for (const auto& [kind, count] : faults)
        std::printf("soak: %-42s %d\n", kind.c_str(), count);
    std::printf("soak: bytes injected %llu, lost to kills (the unsaved last minute) %llu, "
                "invented %llu, missing %llu\n",
                static_cast<unsigned long long>(injected), static_cast<unsigned long long>(lost),
                static_cast<unsigned long long>(invented),
                static_cast<unsigned long long>(missing));
    EXPECT_EQ(invented, 0u);
    EXPECT_EQ(missing, 0u);
}

} // namespace
} // namespace flowloom::accounting
