#pragma once

#include <cstdint>
#include <string_view>

namespace flowloom::output {

// When page capture writes an image, and whether the capture folder is there.
class CaptureTrigger
{
public:
    // Evaluated once per tick after the page limit and before the horizontal
    // axis advances: a page (or more) has passed since the last capture, the
    // folder exists and cbCapture is checked. While any of this is missing the
    // caller keeps counting, so the first tick on which all hold captures at
    // once and the rhythm runs on from that capture.
    static bool due(std::int32_t captureCount, int pointsPerPage, bool folderExists,
                    bool captureChecked);

    // The folder text names an existing directory, with or without a trailing
    // separator. An empty text names nothing (not the working directory).
    static bool folderExists(std::string_view folderText);
};

} // namespace flowloom::output
