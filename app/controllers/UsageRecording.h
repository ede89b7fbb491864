#pragma once

#include "app/BackgroundSaver.h"
#include "usage/UsageHistory.h"
#include "web/documents/ApiDocuments.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace flowloom::app {

// The usage history of one run: the database beside the settings file, a
// connection for reading on the user-interface thread, and a writer thread
// that takes the sealed batches to the database. A history that cannot be
// opened for now (another program holds it locked) is tried again at every
// flush; until then the usage is kept in memory, and written once it opens.
// Without a usable database the history is kept in memory for the run.
class UsageRecording
{
public:
    // What opening the file at the start found. Made on any thread, so that
    // start-up can open the database while it builds the window.
    struct Opening
    {
        usage::StoreReport report;
        std::unique_ptr<usage::UsageStore> reader;
        std::unique_ptr<usage::UsageStore> writer;
    };
    static Opening open(const std::filesystem::path& file, const sampling::DateTime& now);
    // open() on a thread of its own; without a thread to be had, the future
    // is invalid and the caller opens the file itself.
    static std::future<Opening> openInBackground(std::filesystem::path file,
                                                 sampling::DateTime now);

    UsageRecording(const std::filesystem::path& file, const sampling::DateTime& now);
    // With the file as open() found it (at `now`).
    UsageRecording(const std::filesystem::path& file, const sampling::DateTime& now,
                   Opening opening);
    ~UsageRecording();
    UsageRecording(const UsageRecording&) = delete;
    UsageRecording& operator=(const UsageRecording&) = delete;

    // What opening at the start found; its message is for the user.
    const usage::StoreReport& report() const { return m_report; }
    bool recording() const { return m_writer != nullptr; }
    // The history file is open and its last read went through: what the
    // history shows is the whole history, not only this run's usage.
    bool available() const { return m_reader && m_reader->lastReadComplete(); }
    // Not open yet, and tried again at every flush.
    bool waiting() const { return !m_writer && m_report.retry; }
    usage::UsageHistory& history() { return m_history; }
    const std::filesystem::path& file() const { return m_file; }

    // Result of one write, reported on the writer's thread.
    using Done = std::function<void(std::uint64_t seq, bool ok, const std::string& error)>;
    // Seals what is pending and has the writer write every batch not yet in
    // the database; nothing happens while nothing is pending. While waiting,
    // the writer tries to open the file instead, and the usage kept meanwhile
    // is written as soon as it opens.
    void flush(Done done);
    // At close: the same, written before returning (one more try to open a
    // file still waiting). False, with the reason, when usage of this run
    // could not be written.
    bool flushNow(std::string& error);

    // The history document of an interface, built on any thread from the
    // database and a copy of what is still in memory; nothing while the
    // history file is unavailable.
    std::function<std::optional<std::string>()>
    historyDocument(const usage::InterfaceIdentity& identity) const;

    // The rows of history.json, read on any thread like historyDocument().
    // A name is looked up among the run's interfaces (`running`, present ones
    // first), then among those in the history, the newest first.
    web::HistorySource historySource(std::vector<usage::InterfaceIdentity> running) const;

private:
    struct Opened
    {
        std::unique_ptr<usage::UsageStore> reader;
        std::unique_ptr<usage::UsageStore> writer;
        std::uint64_t writtenSeq = 0;
    };
    static std::optional<Opened> tryOpen(const std::filesystem::path& file,
                                         const sampling::DateTime& now);
    // Takes a history the writer opened; true when it is open now.
    bool adoptOpened();
    void adopt(Opened opened);

    usage::SystemZone m_zone;
    std::filesystem::path m_file;
    sampling::DateTime m_started;
    usage::StoreReport m_report;
    std::unique_ptr<usage::UsageStore> m_reader;
    std::shared_ptr<usage::UsageStore> m_writer;
    usage::UsageHistory m_history{m_zone};
    // A file opened by the writer's thread, until this thread takes it.
    std::mutex m_openedMutex;
    std::optional<Opened> m_opened;
    bool m_retrying = false;
    Done m_retryDone;
    // Receives "opened" on this thread; what is queued for it goes with it.
    std::unique_ptr<QObject> m_receiver = std::make_unique<QObject>();
    // Last: its thread ends before the stores go.
    std::unique_ptr<BackgroundSaver> m_saver = std::make_unique<BackgroundSaver>();
};

} // namespace flowloom::app
