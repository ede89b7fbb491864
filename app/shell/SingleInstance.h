#pragma once

#include "sampling/UniqueFd.h"

#include <QObject>
#include <chrono>
#include <filesystem>
#include <string>

class QSocketNotifier;

namespace flowloom::app {

// One running program per settings file: two programs writing one file would
// overwrite each other's totals. The lock is an flock on a file beside the
// settings file, which the kernel releases however its holder ends, so a crash
// never leaves a stale lock. The first program listens on a socket file in a
// folder private to the user (app/instance/InstanceSocket.h), through which a
// second start asks it to show its window.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    // How long a second start waits for the first one to answer, in all.
    static constexpr std::chrono::milliseconds kAnswerWithin{3000};

    explicit SingleInstance(const std::filesystem::path& settingsFile, QObject* parent = nullptr);
    ~SingleInstance() override;

    // This program holds the lock, or no lock could be made (a folder nobody
    // can write to, where no settings are saved either).
    bool isFirst() const { return m_first; }

    // For a start that is not the first because the lock file is there but
    // cannot be used: the file and what is wrong with it. Empty when another
    // program simply holds the lock.
    const std::string& lockProblem() const { return m_lockProblem; }

    // For the first program: why a second start cannot reach it (empty while
    // it listens).
    const std::string& listenProblem() const { return m_listenProblem; }

    // For a second program: asks the first to show its window and waits for
    // its answer, kAnswerWithin at most; false when it cannot be reached.
    bool askFirstToShow() const;

signals:
    void showRequested();

private:
    void listen();
    void answerRequests();

    std::filesystem::path m_settingsFile;
    std::filesystem::path m_socketFile; // set while this program listens
    std::string m_lockProblem;
    std::string m_listenProblem;
    sampling::UniqueFd m_lock; // the flock lives as long as this descriptor
    sampling::UniqueFd m_listener;
    bool m_first = true;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace flowloom::app
