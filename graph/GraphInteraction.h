#pragma once

#include "chart/Chart.h"

namespace flowloom::graph {

// What the program does after each panning step of the graph (`Chart1Scroll`):
// it pulls the axes back into the ranges the plot feed works with.
struct ScrollInputs
{
    bool shiftPan = false; // Shift was held when the button went down
    int maxValue = 800;    // spMax "Maximum value"
    int pointsPerPage = 400;
    int scrollCount = 0; // ScrollCount
};

void Chart1Scroll(chart::Chart& chart, const ScrollInputs& inputs);

// "Apply Vertical Axis Maximum": the axis maximum truncated toward zero, as
// "Maximum value" can hold it (a 32-bit number; beyond it, its nearest end).
int spMaxFromAxis(double maximum);

// "Restore Vertical Axis": 0..spMax, then the floor just below zero.
void RestoreVerticalAxis(chart::Chart& chart, int maxValue);

// The drag cursor while the left button is held: the four-way hand once the
// window may move in time, else the vertical hand.
enum class DragCursor { FourWay, Horizontal, Vertical };
DragCursor dragCursorFor(int scrollCount, double bottomMaximum);

} // namespace flowloom::graph
