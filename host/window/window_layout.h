// How the main window's controls follow its size, and the size, place and column widths it keeps
// in "ini.ini". The template's size is the smallest; what a larger window gains goes to the list
// (and the boxes and bars along its edges), while every other control keeps its distance to the
// window's edge nearest to it.
#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <optional>
#include <string>
#include <vector>

#include "host/window/dialog_template.h"

namespace fogbell::window {

// Where a control goes when the window is dx wider and dy taller than the template.
enum Anchor : unsigned {
    kAnchorNone = 0,
    kMoveX = 1,  // keeps its distance to the right edge
    kMoveY = 2,  // keeps its distance to the bottom edge
    kGrowX = 4,  // takes the extra width
    kGrowY = 8,  // takes the extra height
};
unsigned AnchorsOf(int controlId);
QRect Anchored(const QRect& place, unsigned anchors, int dx, int dy);

// The list's columns when the list grew by delta pixels (shrank, when negative): every column
// takes a share of it in proportion to its width, the name column (the first) the rounding's
// rest; none goes below kNarrowestColumn.
inline constexpr int kNarrowestColumn = 24;
std::vector<int> ShareWidth(const std::vector<int>& widths, int delta);

// The ini.ini keys of the window's own state, in section "General".
inline constexpr const char* kKeyWindow = "WindowPlace";    // "x,y,width,height"
inline constexpr const char* kKeyColumns = "ColumnWidths";  // "name,length,bitrate,time"

struct WindowPlacement {
    std::optional<QRect> frame;  // the window's place and size
    std::vector<int> columnWidths;
};

// Reads the keys; a value that is not a list of the right count of numbers is left out, and a
// size below minimum is raised to it.
WindowPlacement LoadPlacement(const std::string& settingsFile, QSize minimum);
// Writes the keys, keeping everything else in the file.
void SavePlacement(const std::string& settingsFile, const WindowPlacement& placement);

}  // namespace fogbell::window
