#pragma once

#include <QPoint>

class QWidget;

namespace kv::albums {

// What the album windows need from the main window around them.
class AlbumWindowHost {
  public:
    virtual ~AlbumWindowHost() = default;
    // Command 1157: load the selected picture into the print window.
    virtual void displaySelectedPicture() = 0;
    // The print window, to tell a drop on it from a drop elsewhere.
    virtual QWidget* printWindow() = 0;
    // A thumbnail dropped on the print window while the layout is 4-up or 16-up;
    // `pos` is in the print window's coordinates.
    virtual void placeOnSheet(QPoint pos) = 0;
    // The current album changed under the print and status windows: repaint
    // them and clear the status text.
    virtual void refreshViews() = 0;
};

} // namespace kv::albums
