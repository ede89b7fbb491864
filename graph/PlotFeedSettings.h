#pragma once

#include "sampling/RateUnit.h"

#include <QRgb>

namespace flowloom::graph {

// What the plot feed reads from the main window's controls; the window builds
// it afresh for every tick and every handler, so the feed never holds a stale
// copy of a control.
struct PlotFeedSettings
{
    int pointsPerPage = 400;               // spPoints "Points per page"
    double maxValue = 800.0;               // spMax "Maximum value"
    bool kiloBytes = true;                 // rbKBytes "KB/sec" (false: rbBytes "Bytes/sec")
    bool automatic = true;                 // cbAuto "Automatic"
    bool peak = true;                      // rbPeak "Peak"
    bool average = false;                  // rbAvg "Average"
    bool plotDownload = true;              // cbDoPlot "Plot download"
    bool plotUpload = true;                // cbDoPlotUp "Plot upload"
    bool filled = true;                    // rbArea "Filled" (false: rbLine "Line")
    bool steps = false;                    // rbSteps "Steps" (false: rbRamp "Ramp")
    QRgb downloadColour = qRgb(0, 255, 0); // "Plot"
    QRgb uploadColour = qRgb(255, 255, 0); // "PlotUp"
    bool fit = false;                      // rbFit "Visible page"
    bool kbits = false;                    // rbKbits "kbit/s"
    bool mbits = false;                    // rbMbits "Mbit/s"

    // The unit the points are plotted in.
    sampling::RateUnit unit() const
    {
        using sampling::RateUnit;
        if (mbits)
            return RateUnit::Mbits;
        if (kbits)
            return RateUnit::Kbits;
        return kiloBytes ? RateUnit::KBytes : RateUnit::Bytes;
    }
};

} // namespace flowloom::graph
