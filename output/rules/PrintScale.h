#pragma once

#include <cstdint>

namespace flowloom::output {

// How a snapshot is enlarged on the printer page: each screen pixel becomes
// fx x fy printer dots, fx and fy being whole ratios of printer to screen
// resolution (600 over 96 gives 6, not 6.25).
class PrintScale
{
public:
    struct Rect
    {
        std::int64_t x = 0;
        std::int64_t y = 0;
        std::int64_t width = 0;
        std::int64_t height = 0;
        bool operator==(const Rect&) const = default;
    };

    // A printer coarser than the screen (72 dpi under a 96 ppi screen) would
    // give a ratio of 0 and an empty rectangle: a blank page reported as
    // printed. Each ratio is therefore at least 1, and so is a screen
    // resolution that the system reports as 0.
    PrintScale(int printerDpiX, int printerDpiY, int screenPpi);

    int fx() const { return m_fx; }
    int fy() const { return m_fy; }

    // (0, 0, fx x width, fy x height): the page's top-left corner.
    Rect target(int width, int height) const;

private:
    int m_fx;
    int m_fy;
};

} // namespace flowloom::output
