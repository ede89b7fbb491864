#pragma once

#include "sampling/UniqueFd.h"

#include <QObject>
#include <filesystem>

class QSocketNotifier;

namespace flowloom::app {

// One running program per settings file: two programs writing one file would
// overwrite each other's totals. The lock is an flock on a file beside the
// settings file, which the kernel releases however its holder ends, so a crash
// never leaves a stale lock. The first program listens on a local socket named
// after the settings file, through which a second start asks it to show its
// window.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const std::filesystem::path& settingsFile, QObject* parent = nullptr);
    ~SingleInstance() override;

    // This program holds the lock, or no lock could be made (a folder nobody
    // can write to, where no settings are saved either).
    bool isFirst() const { return m_first; }

    // For a second program: asks the first to show its window and waits a
    // little for its answer; false when it cannot be reached.
    bool askFirstToShow() const;

    // The lock file and the socket's name that belong to a settings file.
    static std::filesystem::path lockPathFor(const std::filesystem::path& settingsFile);
    static std::string socketNameFor(const std::filesystem::path& settingsFile);

signals:
    void showRequested();

private:
    void listen();

    std::string m_socketName;
    sampling::UniqueFd m_lock; // the flock lives as long as this descriptor
    sampling::UniqueFd m_listener;
    bool m_first = true;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace flowloom::app
