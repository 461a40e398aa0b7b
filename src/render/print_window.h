#pragma once

#include "render/print_geometry.h"
#include "shell/app_state.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

class QScrollBar;

namespace kv::render {

// The large pane right of the album panel: the selected picture at its own size
// with scroll bars or fitted to the window, the 4-in-1 or 16-in-1 sheet, and the
// page preview on white paper. Everything it shows is painted from the
// application state.
class PrintWindow : public QWidget {
    Q_OBJECT
  public:
    // Painting clears the state's album-just-changed flag, hence the mutable state.
    explicit PrintWindow(shell::AppState& state, QWidget* parent = nullptr);

    // The 4-in-1 quarter or 16-in-1 cell a drop at `pos` goes into, as the sheet
    // is drawn now; -1 for none (1-in-1, or between the 16-in-1 cells).
    int sheetCellAt(QPoint pos) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void paintOneUp(QPainter& painter, const platform::Bitmap24& bitmap, std::uint64_t version);
    void paintSheet(QPainter& painter);
    Rect drawnSheet() const;
    void placeScrollBars(const ScrollPlan& plan);
    void stepScrollBar(QScrollBar* bar, int action);
    void scrollContent();
    const QImage& pictureImage(const platform::Bitmap24& bitmap, std::uint64_t version);

    shell::AppState& m_state;
    QScrollBar* m_horizontal = nullptr;
    QScrollBar* m_vertical = nullptr;
    int m_shownX = 0; // scroll position the window content was last drawn at
    int m_shownY = 0;
    QRect m_scrollArea; // the own-size picture's client area beside the bars
    bool m_painting = false;

    QImage m_picture;
    std::uint64_t m_pictureVersion = 0; // the displayed picture m_picture was made from
};

} // namespace kv::render
