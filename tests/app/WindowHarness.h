#pragma once

#include "app/Unit1.h"
#include "appnet/ApplicationTraffic.h"
#include "sampling/ScriptedSource.h"
#include "support/ManualClock.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace flowloom::testsupport {

// No TCP sockets at all: the window's traffic per application reads none of
// the host's (each read would walk the kernel's TCP table every tick).
struct NoTcpSockets final : appnet::TcpSocketSource
{
    void drainClosed(std::vector<appnet::TcpSocketReading>&) override {}
    bool poll(std::vector<appnet::TcpSocketReading>&) override { return true; }
};
struct NoSocketOwners final : appnet::SocketOwners
{
    void newTick() override {}
    appnet::Application ownerOf(const appnet::TcpSocketReading&) override { return {}; }
};

// A main window over a scripted interface table (lo at 127.0.0.1 and eth0 at
// 192.168.1.10), a manual clock and a temporary program folder, with an
// optional settings file written before the window is built.
// The boot and monotonic clocks: a tick moves both, a sleep the boot clock alone.
struct ScriptedSleepClocks final : sampling::SleepClocks
{
    std::int64_t boot = 2'000'000;
    std::int64_t monotonic = 1'000'000;
    std::int64_t bootMilliseconds() const override { return boot; }
    std::int64_t monotonicMilliseconds() const override { return monotonic; }
};

struct WindowHarness
{
    QTemporaryDir folder;
    sampling::ScriptedSource source;
    ManualClock clock;
    ScriptedSleepClocks sleepClocks;
    std::vector<std::string> messages;
    std::optional<app::FileLocations> files;        // none: beside the program
    app::Dialogs dialogs = app::Dialogs::desktop(); // tests script the answers
    // The traffic per application the window makes: by default one over no
    // sockets; none: the system's.
    std::function<std::unique_ptr<appnet::ApplicationTraffic>()> applicationTraffic = [] {
        static NoTcpSockets none; // stateless: one serves every window
        static NoSocketOwners nobody;
        return std::make_unique<appnet::ApplicationTraffic>(none, nobody);
    };
    bool readsUnseenOnThread = false; // the scripted table and clocks on a thread of their own
    bool headless = false;
    std::unique_ptr<app::TForm1> form;
    std::uint32_t in = 1000;
    std::uint32_t out = 500;

    explicit WindowHarness(const std::string& settings = {}, bool build = true)
    {
        using S = sampling::ScriptedSource;
        source.setAddresses({{S::address(127, 0, 0, 1), 1}, {S::address(192, 168, 1, 10), 2}});
        source.push(table());
        if (!settings.empty())
            writeSettings(settings);
        if (build)
            create();
    }
    void create()
    {
        form = std::make_unique<app::TForm1>(app::Environment{
            source, clock, programFile().toStdString(),
            [this](const std::string& text) { messages.push_back(text); }, files, &dialogs,
            headless, &sleepClocks, applicationTraffic, readsUnseenOnThread});
    }
    QString programFile() const { return folder.path() + "/flowloom"; }
    QString iniPath() const { return folder.path() + "/flowloom.ini"; }
    void writeSettings(const std::string& text) const
    {
        QFile file(iniPath());
        file.open(QIODevice::WriteOnly);
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string readSettings() const
    {
        QFile file(iniPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll().toStdString();
    }
    sampling::TMIBIfArray table() const
    {
        using S = sampling::ScriptedSource;
        return {S::row(1, "lo", in, out), S::row(2, "eth0", in * 2, out * 2)};
    }
    // One tick `seconds` after the previous one, with the counters raised by
    // the given amounts.
    void tick(std::uint32_t addIn, std::uint32_t addOut = 0, int seconds = 1)
    {
        in += addIn;
        out += addOut;
        source.push(table());
        clock.advance(seconds);
        sleepClocks.boot += seconds * 1000;
        sleepClocks.monotonic += seconds * 1000;
        form->Timer1Timer();
    }
    // The machine sleeps: the wall and boot clocks move, the monotonic one
    // and the program's steady clock stand still.
    void sleep(int seconds)
    {
        clock.set(sampling::fromSerialSeconds(sampling::toSerialSeconds(clock.now()) + seconds));
        sleepClocks.boot += std::int64_t{seconds} * 1000;
    }
    QString text(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
    template <typename W> W* get(const char* name) const { return form->findChild<W*>(name); }
};

} // namespace flowloom::testsupport
