#pragma once

#include "platform/bitmap.h"

#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <string_view>

namespace kv::platform {

// The program's own images, drawn as SVG in data/images/ and built into the
// program. `name` is the file name without ".svg" (for example "toolbar-open").
// An unknown name gives a null pixmap.
QPixmap programImage(std::string_view name, QSize size);

// The two cursors of a thumbnail drag: over a place that takes the picture
// (print window, album tabs, thumbnail window) and anywhere else.
QCursor dragCursor();
QCursor noDropCursor();

// A program bitmap (bottom-up BGR rows padded to 4 bytes) as an image with rows
// from the top; null for an empty bitmap or one whose pixels fall short.
QImage toQImage(const Bitmap24& bitmap);

} // namespace kv::platform
