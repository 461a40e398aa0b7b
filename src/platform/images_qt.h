#pragma once

#include <QCursor>
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

} // namespace kv::platform
