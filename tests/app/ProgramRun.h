#pragma once

// Runs of the real program on the offscreen platform, with HOME in a
// temporary folder so that no run touches the user's own files.
#include "app/ini/SettingsKeys.h"
#include "sampling/NetlinkSource.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QThread>
#include <csignal>
#include <string>

namespace flowloom::testsupport {

inline QProcessEnvironment offscreenEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home);
    env.remove("XDG_CONFIG_HOME");
    return env;
}

// Polls `ready` for up to ten seconds.
template <typename Ready> bool waitUntil(Ready ready)
{
    for (int i = 0; i < 400 && !ready(); ++i)
        QThread::msleep(25);
    return ready();
}

// SIGTERM, the desktop's close request; true when the program then ended by itself.
inline bool terminate(QProcess& process)
{
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit;
}

// Ends a process the test started, by its id, when the test leaves the scope
// on any path: asked first, then killed.
struct EndedAtExit
{
    QProcess& process;
    ~EndedAtExit()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

// Empty when `ini` is a settings file written from scratch: "[Plotter]" and
// then every key of the key table in table order (the per-interface totals
// between them); else what is wrong.
inline std::string everyKeyInOrder(const QByteArray& ini)
{
    const QList<QByteArray> lines = ini.split('\n');
    if (lines.size() < 2 || lines[0] != "[Plotter]\r")
        return "no [Plotter] section at the top";
    const auto& table = app::SettingsKeys::table();
    std::size_t next = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const QByteArray key = line.left(line.indexOf('='));
        if (key.isEmpty() || key.startsWith("Last"))
            continue;
        if (next >= table.size() || key.toStdString() != table[next].name)
            return "unexpected key " + key.toStdString();
        ++next;
    }
    if (next != table.size())
        return "missing key " + std::string(table[next].name);
    return {};
}

// The loopback interface's position in the system's table, or -1.
inline int loopbackPosition()
{
    const sampling::TMIBIfArray rows = sampling::NetlinkSource().interfaceSnapshot();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == "lo")
            return static_cast<int>(i);
    return -1;
}

// The stored text of `key` in a settings file's bytes; empty when it is absent.
inline QByteArray storedValue(const QByteArray& ini, const QByteArray& key)
{
    const QByteArray entry = "\n" + key + "=";
    const int at = ini.indexOf(entry);
    if (at < 0)
        return {};
    const int from = at + static_cast<int>(entry.size());
    return ini.mid(from, ini.indexOf('\r', from) - from);
}

// A stored whole number, or -1 when the key is absent.
inline long long storedInteger(const QByteArray& ini, const QByteArray& key)
{
    const QByteArray value = storedValue(ini, key);
    return value.isEmpty() ? -1 : value.toLongLong();
}

// The saved download total of the interface at `position`, or -1.
inline long long savedDownloadTotal(const QByteArray& ini, int position)
{
    return storedInteger(ini, "LastTotalIn" + QByteArray::number(position));
}

} // namespace flowloom::testsupport
