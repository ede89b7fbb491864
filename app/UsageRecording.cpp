#include "app/UsageRecording.h"

namespace flowloom::app {

UsageRecording::UsageRecording(const std::filesystem::path& file, const sampling::DateTime& now)
    : m_file(file), m_report(usage::UsageStore::prepare(file, now))
{
    if (m_report.ready) {
        m_reader = usage::UsageStore::open(file);
        m_writer = usage::UsageStore::open(file);
    }
    if (!m_reader || !m_writer) {
        m_reader.reset();
        m_writer.reset();
    }
    m_history.attach(m_reader.get(), m_writer ? m_writer->writtenSeq() : 0);
}

UsageRecording::~UsageRecording()
{
    m_saver.reset(); // a write under way finishes first
}

void UsageRecording::flush(Done done)
{
    if (!m_writer || !m_history.hasPending())
        return;
    auto batches = std::make_shared<std::vector<usage::UsageBatch>>(m_history.seal());
    m_saver->submit([writer = m_writer, batches, done = std::move(done)] {
        std::string error;
        bool ok = false;
        try {
            ok = writer->write(*batches, error);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        done(batches->back().seq, ok, error);
    });
}

bool UsageRecording::flushNow(std::string& error)
{
    m_saver->wait();
    if (!m_writer)
        return true;
    const std::vector<usage::UsageBatch> batches = m_history.seal();
    if (batches.empty())
        return true;
    if (!m_writer->write(batches, error))
        return false;
    m_history.written(batches.back().seq);
    return true;
}

std::function<std::string()>
UsageRecording::historyDocument(const usage::InterfaceIdentity& identity) const
{
    std::vector<usage::UsageBatch> unsaved = m_history.unsaved();
    return [file = m_file, identity, unsaved = std::move(unsaved), on = m_writer != nullptr] {
        std::vector<usage::DayUsage> days;
        if (auto store = on ? usage::UsageStore::open(file) : nullptr)
            days = store->days(identity, "0000-01-01", "9999-12-31", unsaved);
        return usage::historyCsv(days);
    };
}

} // namespace flowloom::app
