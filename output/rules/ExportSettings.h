#pragma once

#include "output/encoders/ImageType.h"
#include "output/rules/SizeRule.h"

namespace flowloom::output {

// The places a graph image goes to; each has its own box under "Applies to...".
enum class Destination {
    WebImage,  // cbHTTP "Web image": the web service's graph image
    Files,     // cbCaptured "Captured images": captures and "Save As..."
    Clipboard, // cbClip "Clipboard"
    Printer,   // cbPrint "Printer"
};

// The " Image Capture " page as one value, read from the controls afresh for
// every operation so that no operation works from a stale copy.
struct ExportSettings
{
    bool percentMode = true; // rbPercent (false: rbPixels)
    int percent = 100;       // spPercent
    int width = 640;         // spGrWidth
    int height = 480;        // spGrHeight
    bool cbHTTP = true;
    bool cbCaptured = true;
    bool cbClip = true;
    bool cbPrint = true;
    bool gray = false; // cbGray "Convert to grayscale"
    ImageType type = ImageType::Jpeg;

    SizeRule sizeRuleFor(Destination destination) const;
};

} // namespace flowloom::output
