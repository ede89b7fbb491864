#pragma once

#include "app/BackgroundSaver.h"
#include "usage/UsageHistory.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace flowloom::app {

// The usage history of one run: the database beside the settings file, a
// connection for reading on the user-interface thread, and a writer thread
// that takes the sealed batches to the database. Without a usable database
// the history is kept in memory for the run.
class UsageRecording
{
public:
    UsageRecording(const std::filesystem::path& file, const sampling::DateTime& now);
    ~UsageRecording();
    UsageRecording(const UsageRecording&) = delete;
    UsageRecording& operator=(const UsageRecording&) = delete;

    // What opening found; its message is for the user.
    const usage::StoreReport& report() const { return m_report; }
    bool recording() const { return m_writer != nullptr; }
    usage::UsageHistory& history() { return m_history; }
    const std::filesystem::path& file() const { return m_file; }

    // Result of one write, reported on the writer's thread.
    using Done = std::function<void(std::uint64_t seq, bool ok, const std::string& error)>;
    // Seals what is pending and has the writer write every batch not yet in
    // the database; nothing happens while nothing is pending.
    void flush(Done done);
    // At close: the same, written before returning.
    bool flushNow(std::string& error);

    // The history document of an interface, built on any thread from the
    // database and a copy of what is still in memory.
    std::function<std::string()> historyDocument(const usage::InterfaceIdentity& identity) const;

private:
    usage::SystemZone m_zone;
    std::filesystem::path m_file;
    usage::StoreReport m_report;
    std::unique_ptr<usage::UsageStore> m_reader;
    std::shared_ptr<usage::UsageStore> m_writer;
    usage::UsageHistory m_history{m_zone};
    // Last: its thread ends before the stores go.
    std::unique_ptr<BackgroundSaver> m_saver = std::make_unique<BackgroundSaver>();
};

} // namespace flowloom::app
