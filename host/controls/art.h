// Fogbell's pictures, drawn at build time by tools/art/draw_art.cpp and compiled into this
// library as Qt resources under ":/fogbell/art/": the button bitmaps 129 to 138 on their colour
// keys, the window icon (128) and the About window's second icon (145). pic.jpg is staged
// beside the program instead, where the window loads it from.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace fogbell::art {

// Button bitmap `id` (129 to 138) with its key colour still in place; null for any other id.
// For a screen whose device pixel ratio is above 1, the bitmap drawn at twice the size, with a
// device pixel ratio of 2 (the same size on the screen, twice the detail).
QImage Bitmap(int id, qreal devicePixelRatio = 1.0);
// The key colour the window hands to SetBitmap with bitmap `id`: black for 129, a red of 15
// for 130, light grey for the others.
QColor BitmapKey(int id);
// Icon `id` (128 the program, 145 the speaker); null for any other id.
QImage IconImage(int id);
// The program's window icon in its sizes.
QIcon WindowIcon();
// The banner picture's path: pic.jpg beside the running program.
QString PicturePath();

}  // namespace fogbell::art
