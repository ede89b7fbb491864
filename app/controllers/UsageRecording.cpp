#include "app/controllers/UsageRecording.h"

#include "app/publish/FiguresBuilder.h"

#include <QMetaObject>
#include <system_error>

namespace flowloom::app {

std::optional<UsageRecording::Opened> UsageRecording::tryOpen(const std::filesystem::path& file,
                                                              const sampling::DateTime& now)
{
    if (!usage::UsageStore::prepare(file, now).ready)
        return std::nullopt;
    Opened opened{usage::UsageStore::open(file), usage::UsageStore::open(file), 0};
    if (!opened.reader || !opened.writer)
        return std::nullopt;
    opened.writtenSeq = opened.writer->writtenSeq();
    return opened;
}

UsageRecording::Opening UsageRecording::open(const std::filesystem::path& file,
                                             const sampling::DateTime& now)
{
    Opening opening;
    opening.report = usage::UsageStore::prepare(file, now);
    if (opening.report.ready) {
        opening.reader = usage::UsageStore::open(file);
        opening.writer = usage::UsageStore::open(file);
    }
    if (!opening.reader || !opening.writer) {
        opening.reader.reset();
        opening.writer.reset();
    }
    return opening;
}

std::future<UsageRecording::Opening> UsageRecording::openInBackground(std::filesystem::path file,
                                                                      sampling::DateTime now)
{
    try {
        return std::async(std::launch::async,
                          [file = std::move(file), now] { return open(file, now); });
    } catch (const std::system_error&) {
        return {};
    }
}

UsageRecording::UsageRecording(const std::filesystem::path& file, const sampling::DateTime& now)
    : UsageRecording(file, now, open(file, now))
{}

UsageRecording::UsageRecording(const std::filesystem::path& file, const sampling::DateTime& now,
                               Opening opening)
    : m_file(file), m_started(now), m_report(std::move(opening.report)),
      m_reader(std::move(opening.reader)), m_writer(std::move(opening.writer))
{
    m_history.attach(m_reader.get(), m_writer ? m_writer->writtenSeq() : 0);
}

UsageRecording::~UsageRecording()
{
    m_saver.reset(); // a write under way finishes first
}

void UsageRecording::adopt(Opened opened)
{
    m_reader = std::move(opened.reader);
    m_writer = std::move(opened.writer);
    // What was kept in memory is one pending batch: numbered after the file's last.
    m_history.attach(m_reader.get(), opened.writtenSeq);
}

bool UsageRecording::adoptOpened()
{
    std::optional<Opened> opened;
    {
        std::lock_guard lock(m_openedMutex);
        opened.swap(m_opened);
    }
    if (opened)
        adopt(std::move(*opened));
    return m_writer != nullptr;
}

void UsageRecording::flush(Done done)
{
    if (waiting() && !adoptOpened()) {
        if (m_retrying)
            return;
        m_retrying = true;
        m_retryDone = std::move(done);
        m_saver->submit([this, file = m_file, started = m_started] {
            std::optional<Opened> opened;
            try {
                opened = tryOpen(file, started);
            } catch (const std::exception&) {
                opened.reset(); // a shortage: tried again next time
            }
            {
                std::lock_guard lock(m_openedMutex);
                m_opened = std::move(opened);
            }
            // Delivered while this object lives: the receiver goes with it.
            QMetaObject::invokeMethod(
                m_receiver.get(),
                [this] {
                    m_retrying = false;
                    if (adoptOpened())
                        flush(std::move(m_retryDone));
                },
                Qt::QueuedConnection);
        });
        return;
    }
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
        if (done)
            done(batches->back().seq, ok, error);
    });
}

bool UsageRecording::flushNow(std::string& error)
{
    m_saver->wait();
    if (waiting() && !adoptOpened()) {
        if (std::optional<Opened> opened = tryOpen(m_file, m_started))
            adopt(std::move(*opened));
    }
    if (!m_writer) {
        if (!waiting() || !m_history.hasPending())
            return true; // nothing recorded in this run, as the start said
        error = "the usage history is still in use by another program";
        return false;
    }
    const std::vector<usage::UsageBatch> batches = m_history.seal();
    if (batches.empty())
        return true;
    if (!m_writer->write(batches, error))
        return false;
    m_history.written(batches.back().seq);
    return true;
}

std::function<std::optional<std::string>()>
UsageRecording::historyDocument(const usage::InterfaceIdentity& identity) const
{
    std::vector<usage::UsageBatch> unsaved = m_history.unsaved();
    return [file = m_file, identity, unsaved = std::move(unsaved),
            on = m_writer != nullptr]() -> std::optional<std::string> {
        std::unique_ptr<usage::UsageStore> store = on ? usage::UsageStore::open(file) : nullptr;
        if (!store)
            return std::nullopt;
        const std::vector<usage::DayUsage> days =
            store->days(identity, "0000-01-01", "9999-12-31", unsaved);
        if (!store->lastReadComplete())
            return std::nullopt;
        return usage::historyCsv(days);
    };
}

web::HistorySource
UsageRecording::historySource(std::vector<usage::InterfaceIdentity> running) const
{
    using Outcome = web::HistoryAnswer::Outcome;
    std::vector<usage::UsageBatch> unsaved = m_history.unsaved();
    return [file = m_file, running = std::move(running), unsaved = std::move(unsaved),
            on = m_writer != nullptr](const std::string& name, const std::string& firstDay,
                                      const std::string& lastDay) -> web::HistoryAnswer {
        web::HistoryAnswer answer;
        std::unique_ptr<usage::UsageStore> store = on ? usage::UsageStore::open(file) : nullptr;
        if (!store) {
            answer.outcome = Outcome::Unavailable;
            return answer;
        }
        std::optional<usage::InterfaceIdentity> identity;
        for (const usage::InterfaceIdentity& candidate : running)
            if (candidate.name == name) {
                identity = candidate;
                break;
            }
        if (!identity) {
            const std::vector<usage::InterfaceIdentity> stored = store->identitiesNamed(name);
            if (!store->lastReadComplete()) {
                answer.outcome = Outcome::Unavailable;
                return answer;
            }
            if (stored.empty()) {
                answer.outcome = Outcome::UnknownInterface;
                return answer;
            }
            identity = stored.front();
        }
        const std::vector<usage::DayUsage> days =
            store->days(*identity, firstDay, lastDay, unsaved);
        if (!store->lastReadComplete()) {
            answer.outcome = Outcome::Unavailable;
            return answer;
        }
        answer.address = hardwareAddressOf(*identity);
        for (const usage::DayUsage& day : days)
            answer.days.push_back({day.day, day.in, day.out});
        return answer;
    };
}

} // namespace flowloom::app
