#pragma once

#include "app/MainControls.h"
#include "app/ProgramVariables.h"
#include "app/shell/Dialogs.h"
#ifndef Q_MOC_RUN
#include "sampling/RunControl.h"
#include "sampling/StatRec.h"
#endif

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QKeyEvent;

namespace flowloom::graph {
class DragCursors;
class PlotFeed;
struct PlotFeedSettings;
} // namespace flowloom::graph

namespace flowloom::app {

// The graph: its plot feed, its look and what the mouse does with it.
class GraphController final : public QObject
{
public:
    // What the graph asks of the rest of the window.
    struct Links
    {
        std::function<void()> holdClock;    // the graph is held with the mouse
        std::function<void()> releaseClock; // and let go again
        std::function<void(int)> showSinceTexts;
        std::function<bool()> captureFolderExists;
    };

    GraphController(const MainControls& ui, ProgramVariables& vars, Dialogs& dialogs,
                    sampling::RunCounters& counters, Links links);
    ~GraphController() override;

    // Plot feed handlers.
    void spPointsChange();
    void spMaxChange();
    void btnClearClick();
    void rbStepsClick();
    void cbAutoClick();
    void cbDoPlotClick();
    void rbBytesClick();
    void rbFitClick(); // "Visible page": fits the axis at once
    // Appearance.
    void edTitleChange();
    void edLabelChange();
    bool edLabelKeyPress(const QKeyEvent& key); // true: the key is refused
    void btnFontClick();
    void btnAFontClick();
    void btnGridClick();
    void btnDownColourClick();
    void btnUploadColourClick();
    void btnBackColourClick();
    void btnBorderColourClick();
    void btn3DClick();
    void rbLineClick();
    void btnLineClick();
    void rbVerticalClick();
    void btnSwapClick();
    // Interaction.
    void Chart1MouseDown(Qt::MouseButton button, bool shift);
    void Chart1MouseUp(Qt::MouseButton button, bool shift);
    void Chart1Scroll();
    void PopupMenu3Popup();
    void mnuApplyClick();
    void RestoreVerticalAxis1Click();

    // Start-up: the graph takes every stored look.
    void applyGraphAppearance();
    // The run: the series that Start shows, a shown tick, and the tick's end
    // (capture of a completed page, then the page limit).
    void startPlot();
    void addShownTick(const sampling::TStatRec& rec, const std::string& averageIn,
                      const std::string& averageOut, const sampling::DateTime& now);
    // A shown tick that spans a sleep of the machine: a gap in the graph.
    void addGapTick(const sampling::DateTime& now);
    void tickTail(const std::function<bool()>& captureTrigger,
                  const std::function<void()>& pageLimit);
    void restart(); // a new graph, and keep running
    const graph::PlotFeed& plotFeed() const { return *m_feed; }

private:
    void connectGraphControls();
    bool eventFilter(QObject* watched, QEvent* event) override;
    graph::PlotFeedSettings plotSettings() const;
    void applyAxesTextColour(std::uint32_t colour);
    void applyGridColour(std::uint32_t colour);
    void applyPlotColours();
    void applyAreaColours();
    void swapSeriesOrder();

    const MainControls& m_ui;
    ProgramVariables& m_vars;
    Dialogs& m_dialogs;
    sampling::RunCounters& m_counters;
    Links m_links;
    std::unique_ptr<graph::PlotFeed> m_feed;
    std::unique_ptr<graph::DragCursors> m_cursors;
    bool m_shiftPan = false;
};

} // namespace flowloom::app
