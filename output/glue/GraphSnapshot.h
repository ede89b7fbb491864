#pragma once

#include "output/rules/SizeRule.h"

#include <QImage>
#include <QString>

#include <cstdint>

namespace flowloom::graph {
class ChartWidget;
}

namespace flowloom::output {

// The graph drawn into a still image under one destination's size rule: the
// shared first step of saving, capturing, copying, printing and the web image.
class GraphSnapshot
{
public:
    struct Result
    {
        QImage image;  // Format_RGB32, exactly the rule's size; null on failure
        QString error; // what to tell the user; empty on success
        bool ok() const { return error.isEmpty(); }
    };

    // Sizes beyond these are refused before any memory is asked for: a side
    // past what the raster painter can address, or more than 1 GiB of pixels
    // (a typed 2000 % of a large window), which would take the machine's memory
    // rather than fail.
    static constexpr std::int64_t kMaxSide = 32767;
    static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

    // Renders the graph at the size the rule gives for the graph's on-screen
    // size and, when gray is set, converts it with ConvertBitmapToGrayscale1.
    //
    // The chart engine draws straight into the new image, so the live graph is
    // never hidden, resized or taken out of its layout: it stays as the user
    // sees it on every path, failures included, and no window events need to
    // run in the middle of the operation.
    //
    // An image that cannot be made (a size the rule makes absurd, or memory
    // that runs out) gives the message "Not enough memory for a W x H image."
    // for the caller's message box; a side of 0 or less gives "Cannot make a
    // W x H image.".
    static Result take(const graph::ChartWidget& graph, const SizeRule& rule, bool gray);

    // ConvertBitmapToGrayscale1 over the image's pixels, in place. The image is
    // made Format_RGB32 first if it is not already. False when there is no
    // image or no memory to make its pixels writable.
    static bool toGrayscale(QImage& image);

    static QString notEnoughMemoryMessage(SizeRule::Size size);
};

} // namespace flowloom::output
