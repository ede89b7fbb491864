#pragma once

#include "app/BackgroundSaver.h"
#include "app/Environment.h"
#include "app/MainControls.h"
#include "app/ProgramVariables.h"
#ifndef Q_MOC_RUN
#include "app/ini/IniStore.h"
#include "app/ini/SettingsValues.h"
#include "sampling/TotalsModel.h"
#endif

#include <QObject>
#include <QSize>
#include <cstdint>
#include <memory>

class QTimer;

namespace flowloom::app {

// The settings file. It is read twice at start-up: every value while the
// window is built (load), and the cumulative totals once the interface table
// is known (by the run's InitGrid). It is written at close, and in the
// background at most once a minute while a cumulative total changes, and
// right after a reset, so a crash loses at most a minute.
class SettingsKeeper final : public QObject
{
public:
    SettingsKeeper(const MainControls& ui, const Environment& env, const FileLocations& files,
                   ProgramVariables& vars, const sampling::TotalsModel& totals);
    ~SettingsKeeper() override;

    // Start-up: every control and settings variable takes its stored or default value.
    void load(QSize graphDesignSize);
    // At close; a failure is told, the close goes on.
    void save(int serverIpIndex);
    void saveInBackground();
    // Once a minute: a background write when a cumulative total changed.
    void autosaveTotals();
    void stopAutosave() { m_closing = true; }

private:
    struct SettingsToWrite;
    SettingsToWrite settingsToWrite(int serverIpIndex);
    RuntimeDefaults runtimeDefaults() const;
    void backgroundSaveDone(const IniSaveResult& result);

    const MainControls& m_ui;
    const Environment& m_env;
    const FileLocations& m_files;
    ProgramVariables& m_vars;
    const sampling::TotalsModel& m_totals;
    QSize m_graphDesignSize;
    std::uint64_t m_savedChanges = 0; // the totals' change count the last write took
    bool m_saveFailureShown = false;  // a failed background write is reported once
    bool m_closing = false;
    // Last member: destroyed first, so no write runs on behind a torn-down window.
    std::unique_ptr<BackgroundSaver> m_saver = std::make_unique<BackgroundSaver>();
};

} // namespace flowloom::app
