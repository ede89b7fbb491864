#include "output/rules/PrintScale.h"

#include <algorithm>

namespace flowloom::output {

namespace {

int ratio(int printerDpi, int screenPpi)
{
    return std::max(1, printerDpi / std::max(1, screenPpi));
}

} // namespace

PrintScale::PrintScale(int printerDpiX, int printerDpiY, int screenPpi)
    : m_fx(ratio(printerDpiX, screenPpi)), m_fy(ratio(printerDpiY, screenPpi))
{}

PrintScale::Rect PrintScale::target(int width, int height) const
{
    return Rect{0, 0, static_cast<std::int64_t>(m_fx) * width,
                static_cast<std::int64_t>(m_fy) * height};
}

} // namespace flowloom::output
