#include "app/shell/GuideOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include <system_error>

namespace flowloom::app {

namespace {
// The freedesktop opener: it finds the desktop's browser, or $BROWSER, and
// says by its exit status whether the browser started.
constexpr const char* kOpener = "xdg-open";
} // namespace

GuideOpener::GuideOpener(Tell tell, QObject* parent) : QObject(parent), m_tell(std::move(tell))
{
    if (!m_tell)
        m_tell = [](const std::string&) {};
}

std::string GuideOpener::failureText(const std::filesystem::path& guide)
{
    return "The user guide could not be opened: no web browser could be started for " +
           guide.string() + ". Open that file in a web browser of your choice.";
}

std::string GuideOpener::missingText(const std::filesystem::path& guide)
{
    return "The user guide " + guide.string() + " is missing.";
}

void GuideOpener::open(const std::filesystem::path& guide)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(guide, error)) {
        m_tell(missingText(guide));
        return;
    }
    const QString url =
        QUrl::fromLocalFile(QString::fromStdString(guide.string())).toString(QUrl::FullyEncoded);
#ifdef Q_OS_UNIX
    // Watched rather than fired and forgotten: its failure is the user's to know.
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::errorOccurred, this,
            [this, process, guide](QProcess::ProcessError problem) {
                if (problem != QProcess::FailedToStart)
                    return; // a crash is told by finished()
                m_tell(failureText(guide));
                process->deleteLater();
            });
    connect(process, &QProcess::finished, this,
            [this, process, guide](int exitCode, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || exitCode != 0)
                    m_tell(failureText(guide));
                process->deleteLater();
            });
    process->start(QString::fromLatin1(kOpener), {url});
#else
    if (!QDesktopServices::openUrl(QUrl(url)))
        m_tell(failureText(guide));
#endif
}

} // namespace flowloom::app
