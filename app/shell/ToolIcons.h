#pragma once

#include <QIcon>

namespace flowloom::app {

enum class ToolIcon { Start, Stop, Clear, Line, ThreeD, Swap, Stay, Save, Copy, Print, Help };

// The tool bar's pictures, drawn by the program so it carries no image files.
QIcon toolIcon(ToolIcon icon);

// The program's own icon (window, notification area, launcher), every size
// the program carries.
QIcon applicationIcon();

} // namespace flowloom::app
