#pragma once

#include <cstddef>
#include <optional>
#include <vector>

class QFrame;
class QWidget;

// Etched ("3D") lines: a dark line or outline with a light copy one pixel
// beside it. A line is a QFrame of shape HLine or VLine, one pixel thick, its
// colour the frame's text colour; any other frame shape counts as an outline.
namespace Fun_LineWrite3D {

// The etched line under a menu bar: lines[0] becomes a dark line across the
// top of its container and a light copy one pixel below it is appended.
void WriteMenuLine3D(std::vector<QFrame*>& lines);

// Darkens controls[index] (the first when no index is given) and appends a
// light copy, placed in container (the source's parent when null).
// direction 0: a line's copy goes one pixel right, an outline's one pixel down;
// 1: a line's copy one pixel down, an outline's one pixel right; 2: both.
// stretch: a line with direction 1 or 2 first spans its parent's whole width.
// Without such a control nothing happens.
void LineWrite3D(std::vector<QFrame*>& controls, int direction, std::optional<std::size_t> index = {},
    bool stretch = false, QWidget* container = nullptr);

} // namespace Fun_LineWrite3D
