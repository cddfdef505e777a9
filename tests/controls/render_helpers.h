// Rendering and event helpers for the control tests.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <ostream>

// Readable colours in test failures.
inline void PrintTo(const QColor& colour, std::ostream* os) {
    *os << "rgb(" << colour.red() << ", " << colour.green() << ", " << colour.blue() << ")";
}

namespace fogbell::test {

// A palette colour at the 8 bits per channel that painting produces.
inline QColor Rgb8(const QColor& colour) {
    return QColor(colour.rgb());
}

// The widget painted into an RGB image of its own size.
QImage Render(QWidget& widget);
// The colour of one pixel.
QColor PixelAt(const QImage& image, int x, int y);
// Bounding box of the pixels whose colour is not `background` (empty when there is none).
QRect InkBounds(const QImage& image, QColor background, QRect within = QRect());
// Bounding box of the pixels of exactly `colour`.
QRect ColourBounds(const QImage& image, QColor colour);
// Pointer events sent straight to a widget, at a point in its own coordinates.
void SendEnter(QWidget& widget, QPoint at);
void SendLeave(QWidget& widget);
void SendMove(QWidget& widget, QPoint at, Qt::MouseButtons buttons = Qt::NoButton);
void SendPress(QWidget& widget, QPoint at);
void SendRelease(QWidget& widget, QPoint at);
void SendDoubleClick(QWidget& widget, QPoint at);

}  // namespace fogbell::test
