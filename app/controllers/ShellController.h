#pragma once

#include "app/Environment.h"
#include "app/FigureBoard.h"
#include "app/MainControls.h"
#include "app/ProgramVariables.h"
#include "app/ini/FileLocations.h"
#include "app/shell/GuideOpener.h"
#include "app/shell/HelpFile.h"

#include <QObject>

#include <functional>

class QEvent;

namespace flowloom::app {

// The window as a whole: how it shows at start, when it paints, stay on top,
// transparency, the notification area, the user guide, the link label and
// the start at login.
class ShellController final : public QObject
{
public:
    ShellController(const MainControls& ui, const Environment& env, const FileLocations& files,
                    ProgramVariables& vars, FigureBoard& figures);

    void btnStayClick();
    void tb1Change();
    // "Help" and F1: the user guide in the browser, or a message saying why not.
    void btnHelpClick();
    void TrayIconClick();
    void mnuRestoreClick();
    void CloseEcholoom1Click();
    void Label49Click();
    void TabSheet1Show();
    void TabSheet2Show();
    // "Start at login": writes the autostart entry, or removes it when the
    // program wrote it. A failure is told and the box shows what is on disk.
    void cbAutoStartClick();

    // Start-up: a fresh copy of the user guide, and the window shown,
    // minimized, or straight into the notification area.
    void writeHelpFile();
    void setStartMinimized(bool minimized) { m_startMinimized = minimized; }
    void showAtStart();
    // At close: the guide written at start-up goes with the program.
    void removeHelpFile();
    const HelpFile& helpFile() const { return m_help; }

    // The window's own events.
    void windowShown();
    void windowChanged(const QEvent* event);
    // While the window is minimised or in the notification area, ticks go on
    // as ever but nothing is repainted.
    void paintOnlyWhenSeen();
    // What must be brought up to date the moment the window is seen again
    // (pages that are not refreshed while nobody sees them).
    void setSeenAgain(std::function<void()> seenAgain) { m_seenAgain = std::move(seenAgain); }

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    const MainControls& m_ui;
    const Environment& m_env;
    QMainWindow& m_window;
    const FileLocations& m_files;
    ProgramVariables& m_vars;
    FigureBoard& m_figures;
    HelpFile m_help;
    GuideOpener m_guideOpener;
    bool m_startMinimized = false;
    bool m_minimizeWhenExposed = false;
    bool m_shown = false;
    std::function<void()> m_seenAgain;
};

} // namespace flowloom::app
