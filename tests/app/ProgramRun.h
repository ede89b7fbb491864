#pragma once

// Runs of the real program on the offscreen platform, with HOME in a
// temporary folder so that no run touches the user's own files.
#include "app/ini/SettingsKeys.h"

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

} // namespace flowloom::testsupport
