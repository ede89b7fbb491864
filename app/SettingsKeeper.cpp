#include "app/SettingsKeeper.h"

#include "app/SettingsBinder.h"
#include "app/desktop/DesktopNotices.h"
#include "app/ini/SettingsFile.h"
#include "app/pages/SetupPage.h"
#include "sampling/UnexpectedException.h"

#include <QComboBox>
#include <QMainWindow>
#include <QMetaObject>
#include <QStatusBar>
#include <new>

namespace flowloom::app {

struct SettingsKeeper::SettingsToWrite
{
    SettingsValues values;
    std::vector<InterfaceTotals> rows;
};

SettingsKeeper::SettingsKeeper(const MainControls& ui, const Environment& env,
                               const FileLocations& files, ProgramVariables& vars,
                               const sampling::TotalsModel& totals)
    : m_ui(ui), m_env(env), m_files(files), m_vars(vars), m_totals(totals)
{}

SettingsKeeper::~SettingsKeeper()
{
    m_saver.reset(); // a write under way ends before the values it reads go
}

RuntimeDefaults SettingsKeeper::runtimeDefaults() const
{
    RuntimeDefaults runtime;
    runtime.filesFolder = m_files.filesFolder.string();
    runtime.graphWidth = m_graphDesignSize.width();
    runtime.graphHeight = m_graphDesignSize.height();
    return runtime;
}

void SettingsKeeper::load(QSize graphDesignSize)
{
    m_graphDesignSize = graphDesignSize;
    SettingsBinder::apply(*m_ui.window, SettingsFile::load(m_files.settingsFile, runtimeDefaults()),
                          m_vars);
}

SettingsKeeper::SettingsToWrite SettingsKeeper::settingsToWrite(int serverIpIndex)
{
    m_vars.URL = m_ui.cbURL->currentIndex();
    m_vars.ServerIP = serverIpIndex;
    SettingsValues values = SettingsBinder::collect(*m_ui.window, m_vars, runtimeDefaults());
    values.set(Key::Web, m_vars.WebWanted); // not the box a failed start unticked
    return {std::move(values), m_totals.rows()};
}

void SettingsKeeper::save(int serverIpIndex)
{
    // A background write still under way must not land after this one.
    m_saver->wait();
    SettingsToWrite content = settingsToWrite(serverIpIndex);
    const IniSaveResult result =
        SettingsFile::save(m_files.settingsFile, content.values, content.rows);
    if (!result.ok())
        m_env.showMessage(result.message);
}

void SettingsKeeper::autosaveTotals()
{
    if (m_totals.changes() != m_savedChanges && !m_closing)
        saveInBackground();
}

// The same content and the same atomic write as the close; the UI thread
// only gathers the values, the file is written on the saver's thread.
void SettingsKeeper::saveInBackground()
{
    m_savedChanges = m_totals.changes();
    auto content =
        std::make_shared<SettingsToWrite>(settingsToWrite(m_ui.Setup->cbServerIP->currentIndex()));
    m_saver->submit([this, content, path = m_files.settingsFile] {
        IniSaveResult result;
        try {
            result = SettingsFile::save(path, content->values, content->rows);
        } catch (const std::bad_alloc&) {
            result = {IniSave::Failed, "Unable to write to " + path.string()};
        } catch (const std::exception&) {
            // Anything but a shortage is a key or value the store cannot hold.
            sampling::traceUnexpectedException("SettingsKeeper::saveInBackground");
            result = {IniSave::Failed, "Unable to write to " + path.string()};
        }
        QMetaObject::invokeMethod(
            this, [this, result] { backgroundSaveDone(result); }, Qt::QueuedConnection);
    });
}

void SettingsKeeper::backgroundSaveDone(const IniSaveResult& result)
{
    if (result.ok()) {
        m_saveFailureShown = false;
        return;
    }
    m_savedChanges = m_totals.changes() - 1; // try again at the next minute
    // Not a box every minute: once in the status bar, and at close as always.
    if (!m_saveFailureShown)
        m_ui.notices->notify(
            {QStringLiteral("Settings not saved"), QString::fromStdString(result.message)});
    m_saveFailureShown = true;
}

} // namespace flowloom::app
