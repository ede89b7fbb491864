#pragma once

#include <cstdint>
#include <string>

namespace flowloom::output {

// How large the snapshot for one destination is drawn: the size mode of the
// "Image Size  " group, and whether that destination's box under
// "Applies to..." is checked.
struct SizeRule
{
    // Pixels; 64-bit so that a typed percentage of a large graph is reported
    // as the size it asks for, not as a wrapped number.
    struct Size
    {
        std::int64_t width = 0;
        std::int64_t height = 0;
        bool operator==(const Size&) const = default;
    };

    bool applies = false;    // the destination's box under "Applies to..."
    bool percentMode = true; // rbPercent "Percent " (false: rbPixels "Pixels")
    // spPercent as the box reports it: while the user types it is the typed
    // number (500 stays 500 until the box loses focus), and text that is not a
    // number has already become the box's minimum.
    int percent = 100;
    int width = 640;  // spGrWidth
    int height = 480; // spGrHeight

    // The image size for a graph that is onScreen large: the on-screen size when
    // the box is unchecked, else percent of it or the fixed pixels.
    Size imageSize(Size onScreen) const;

    // trunc(percent / 100 x side) for both sides. Worked in whole numbers, so the
    // result is the true product truncated: 29 % of 100 is 29, where the binary
    // fraction 0.29 x 100 would give 28.999... and lose a pixel.
    static Size percentOf(int percent, Size onScreen);

    // The note under "Applies to...": "Items not checked will use screen graph
    // size (W x H)".
    static std::string screenSizeNote(Size onScreen);
    // The label beside spPercent: "(w x h)".
    static std::string percentPreview(int percent, Size onScreen);
};

} // namespace flowloom::output
