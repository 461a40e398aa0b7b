#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>

namespace kv::platform {
class Ui;
struct Bitmap24;
} // namespace kv::platform
namespace kv::shell {
struct AppState;
}

namespace kv::albums {

class AlbumStore;
class AlbumWindow;
class AlbumWindowHost;

// The scrolling grid of the current album's thumbnails. A click selects, a
// double-click shows the picture, a drag places it in the print window's layout
// or copies/moves it to another album's tab, a right click shows its properties.
class ThumbnailWindow : public QAbstractScrollArea {
    Q_OBJECT
  public:
    ThumbnailWindow(shell::AppState& app, AlbumStore& store, platform::Ui& ui,
                    AlbumWindowHost& host, AlbumWindow& albumWindow, QWidget* parent = nullptr);
    ~ThumbnailWindow() override;

    // Another album is in the picture table: back to the top, everything repainted.
    void albumChanged();
    // The picture at `index` changed (rotated, selected).
    void pictureChanged(int index);
    // Pictures were added or removed: scroll range and the whole grid anew.
    void refresh();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    int columns() const;
    int scrollPosition() const;
    int computeScrollMaximum() const;
    void updateScrollBar();
    void scrollBarAction(int action);
    void paintCell(class QPainter& painter, int index);
    void repaintCell(int index);
    void select(int index);
    void showPicture(int index);
    bool overDropTarget(QPoint globalPos) const;
    void endDrag();
    void drop(QPoint globalPos, bool copy);
    void dropOnPrintWindow(QPoint posInPrintWindow);
    void dropOnAlbum(int targetAlbum, bool copy);

    shell::AppState& m_app;
    AlbumStore& m_store;
    platform::Ui& m_ui;
    AlbumWindowHost& m_host;
    AlbumWindow& m_albumWindow;

    bool m_pressed = false;
    bool m_dragging = false;
    bool m_copyMode = false;
    int m_wheelRemainder = 0;
};

} // namespace kv::albums
