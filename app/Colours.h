#pragma once

#include <QColor>
#include <QFont>
#include <cstdint>

namespace flowloom::app {

// Stored colours are 0x00BBGGRR; system colour numbers (0xFF0000nn) take the
// desktop palette's nearest role.
QColor toQColor(std::uint32_t colour);
std::uint32_t fromQColor(const QColor& colour);

// Font style bits: 1 bold, 2 italic, 4 underline, 8 strike-out.
QFont makeFont(const std::string& name, int pointSize, int styleBits);
int styleBits(const QFont& font);

} // namespace flowloom::app
