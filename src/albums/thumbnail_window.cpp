#include "albums/thumbnail_window.h"
#include "platform/qt_text.h"

#include "albums/album_store.h"
#include "albums/album_window.h"
#include "albums/album_window_host.h"
#include "albums/picture_properties_dialog.h"
#include "albums/thumbnail_grid.h"
#include "platform/bitmap.h"
#include "platform/images_qt.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <cstring>
#include <utility>

namespace kv::albums {

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kDarkGrey(64, 64, 64);
const QColor kNavy(0, 0, 128);
const QColor kSelectionBlue(0, 0, 255);

QRect toRect(const grid::Box& box) {
    return QRect(box.left, box.top, box.width(), box.height());
}

// One-pixel lines as filled rectangles, so no pen rounding moves them.
void hLine(QPainter& p, int x0, int x1, int y, const QColor& c) {
    p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c);
}
void vLine(QPainter& p, int x, int y0, int y1, const QColor& c) {
    p.fillRect(QRect(x, y0, 1, y1 - y0 + 1), c);
}
void diagonal(QPainter& p, QPoint from, QPoint to, const QColor& c) {
    const int steps = std::abs(to.x() - from.x());
    const int dx = to.x() > from.x() ? 1 : -1;
    const int dy = to.y() > from.y() ? 1 : -1;
    for (int i = 0; i <= steps; ++i)
        p.fillRect(QRect(from.x() + i * dx, from.y() + i * dy, 1, 1), c);
}

// Raised: light from the top left; the corners are cut off diagonally.
void drawRaisedFrame(QPainter& p, const grid::Box& box) {
    const int l = box.left, t = box.top, r = box.right - 1, b = box.bottom - 1;
    const int cut = grid::kBevelCut;
    vLine(p, l, t + cut, b - cut, kWhite);
    diagonal(p, QPoint(l, t + cut), QPoint(l + cut, t), kWhite);
    hLine(p, l + cut, r - cut, t, kWhite);
    diagonal(p, QPoint(r - cut, t), QPoint(r, t + cut), kBlack);
    vLine(p, r, t + cut, b - cut, kBlack);
    diagonal(p, QPoint(r, b - cut), QPoint(r - cut, b), kBlack);
    hLine(p, l + cut, r - cut, b, kBlack);
    diagonal(p, QPoint(l + cut, b), QPoint(l, b - cut), kBlack);
}

void drawOutline(QPainter& p, const grid::Box& box, const QColor& c) {
    const int r = box.right - 1, b = box.bottom - 1;
    hLine(p, box.left, r, box.top, c);
    hLine(p, box.left, r, b, c);
    vLine(p, box.left, box.top, b, c);
    vLine(p, r, box.top, b, c);
}

using platform::qs;

} // namespace

ThumbnailWindow::ThumbnailWindow(shell::AppState& app, AlbumStore& store, platform::Ui& ui,
                                 AlbumWindowHost& host, AlbumWindow& albumWindow, QWidget* parent)
    : QAbstractScrollArea(parent), m_app(app), m_store(store), m_ui(ui), m_host(host),
      m_albumWindow(albumWindow) {
    setObjectName("ThumbNail");
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setCursor(Qt::ArrowCursor);

    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(grid::kCellHeight);
    bar->setPageStep(grid::kCellHeight);
    connect(bar, &QAbstractSlider::actionTriggered, this, &ThumbnailWindow::scrollBarAction);
    connect(&m_albumWindow, &AlbumWindow::albumShown, this, &ThumbnailWindow::albumChanged);
    updateScrollBar();
}

ThumbnailWindow::~ThumbnailWindow() {
    if (m_dragging)
        QApplication::restoreOverrideCursor();
}

int ThumbnailWindow::columns() const {
    return grid::columnsForWidth(viewport()->width());
}

int ThumbnailWindow::scrollPosition() const {
    return verticalScrollBar()->value();
}

int ThumbnailWindow::computeScrollMaximum() const {
    // Showing the scroll bar narrows the grid, which may take a column away.
    const int count = m_app.albums.pictureCount;
    const int fullWidth = contentsRect().width();
    const int clientHeight = viewport()->height();
    const int maximum = grid::scrollMaximum(count, grid::columnsForWidth(fullWidth), clientHeight);
    if (maximum == 0)
        return 0;
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return grid::scrollMaximum(count, grid::columnsForWidth(fullWidth - barWidth), clientHeight);
}

void ThumbnailWindow::updateScrollBar() {
    const int maximum = computeScrollMaximum();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, maximum);
    setVerticalScrollBarPolicy(maximum > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void ThumbnailWindow::scrollBarAction(int action) {
    QScrollBar* bar = verticalScrollBar();
    const int position = bar->value();
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
    case QAbstractSlider::SliderPageStepSub:
        bar->setSliderPosition(grid::scrollStep(position, -1, bar->maximum()));
        break;
    case QAbstractSlider::SliderSingleStepAdd:
    case QAbstractSlider::SliderPageStepAdd:
        bar->setSliderPosition(grid::scrollStep(position, 1, bar->maximum()));
        break;
    case QAbstractSlider::SliderMove:
        bar->setSliderPosition(grid::snapScrollPosition(bar->sliderPosition(), bar->maximum()));
        break;
    default:
        break;
    }
}

void ThumbnailWindow::albumChanged() {
    updateScrollBar();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void ThumbnailWindow::pictureChanged(int index) {
    repaintCell(index);
}

void ThumbnailWindow::refresh() {
    updateScrollBar();
    viewport()->update();
}

void ThumbnailWindow::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void ThumbnailWindow::scrollContentsBy(int /*dx*/, int dy) {
    viewport()->scroll(0, dy);
}

void ThumbnailWindow::paintEvent(QPaintEvent* event) {
    // A picture added or removed without refresh(): correct the range afterwards,
    // not while painting.
    if (computeScrollMaximum() != verticalScrollBar()->maximum())
        QMetaObject::invokeMethod(this, &ThumbnailWindow::refresh, Qt::QueuedConnection);

    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const int cols = columns();
    const grid::Box area{event->rect().left(), event->rect().top(), event->rect().right() + 1,
                         event->rect().bottom() + 1};
    const int count = std::min(m_app.albums.pictureCount, kPictureRows);
    for (int i = 0; i < count; ++i) {
        if (grid::cellPaintBox(i, cols).movedBy(0, -scrollPosition()).intersects(area))
            paintCell(painter, i);
    }
}

void ThumbnailWindow::paintCell(QPainter& painter, int index) {
    const AlbumState& albums = m_app.albums;
    const PictureRow& row = albums.pictures[static_cast<std::size_t>(index)];
    const int cols = columns();
    const int dy = -scrollPosition();
    const bool selected = index == albums.selectedPicture();

    const grid::Box frame = grid::frameBox(index, cols).movedBy(0, dy);
    drawRaisedFrame(painter, frame);

    const QImage image = platform::toQImage(row.thumbnail);
    if (!image.isNull()) {
        const grid::Box thumb =
            grid::thumbnailBox(index, cols, image.width(), image.height()).movedBy(0, dy);
        painter.save();
        painter.setClipRect(toRect(frame));
        painter.drawImage(QPoint(thumb.left, thumb.top), image);
        if (selected)
            drawOutline(painter, grid::selectionBox(thumb), kSelectionBlue);
        painter.restore();
    }

    // Sunken caption: shadow on the top left, light on the bottom right.
    const grid::Box caption = grid::captionBox(index, cols).movedBy(0, dy);
    const int r = caption.right - 1, b = caption.bottom - 1;
    hLine(painter, caption.left, r, caption.top, kDarkGrey);
    vLine(painter, caption.left, caption.top, b, kDarkGrey);
    hLine(painter, caption.left + 1, r, b, kWhite);
    vLine(painter, r, caption.top + 1, b, kWhite);
    const QRect inside(caption.left + 1, caption.top + 1, caption.width() - 2,
                       caption.height() - 2);
    painter.fillRect(inside, selected ? kNavy : kWhite);
    painter.save();
    painter.setClipRect(inside);
    painter.setFont(font());
    painter.setPen(selected ? kWhite : kBlack);
    painter.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine, qs(row.displayName));
    painter.restore();
}

void ThumbnailWindow::repaintCell(int index) {
    if (index < 0 || index >= m_app.albums.pictureCount)
        return;
    viewport()->update(toRect(grid::cellPaintBox(index, columns()).movedBy(0, -scrollPosition())));
}

void ThumbnailWindow::select(int index) {
    AlbumState& albums = m_app.albums;
    const int old = albums.selectedPicture();
    albums.select(index);
    repaintCell(old);
    repaintCell(index);
}

void ThumbnailWindow::showPicture(int index) {
    AlbumState& albums = m_app.albums;
    if (index < 0 || index >= albums.pictureCount)
        return;
    if (index == albums.loadedPicture() && !albums.albumJustChanged && !albums.pictureRotated)
        return;
    albums.albumJustChanged = false;
    albums.pictureRotated = false;
    select(index);
    // Showing it makes it the loaded picture.
    m_host.displaySelectedPicture();
}

void ThumbnailWindow::mousePressEvent(QMouseEvent* event) {
    const AlbumState& albums = m_app.albums;
    const QPoint pos = event->position().toPoint();
    const int hit =
        grid::pictureAtPress(pos.x(), pos.y(), scrollPosition(), albums.pictureCount, columns());
    if (event->button() == Qt::RightButton) {
        if (hit >= 0) {
            const PictureRow& row = albums.pictures[static_cast<std::size_t>(hit)];
            PicturePropertiesDialog::showProperties(row.displayName, row.fullPath, window());
        }
        return;
    }
    if (event->button() != Qt::LeftButton || hit < 0)
        return;
    m_pressed = true;
    // Taken afresh with every press: a Ctrl-click that never became a drag must
    // not turn the next plain drag into a copy.
    m_copyMode = event->modifiers().testFlag(Qt::ControlModifier);
    if (hit != albums.selectedPicture())
        select(hit);
}

bool ThumbnailWindow::overDropTarget(QPoint globalPos) const {
    const auto under = [globalPos](const QWidget* widget) {
        return widget && widget->isVisible() &&
               widget->rect().contains(widget->mapFromGlobal(globalPos));
    };
    return under(m_host.printWindow()) || under(m_albumWindow.tabControl()) || under(this);
}

void ThumbnailWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed)
        return;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere (the window lost the mouse): no drop.
        endDrag();
        m_copyMode = false;
        return;
    }
    const QPoint globalPos = event->globalPosition().toPoint();
    if (!m_dragging) {
        // Qt's implicit grab already sends every move and the release to the
        // widget the button went down on, wherever the mouse goes.
        m_dragging = true;
        QApplication::setOverrideCursor(platform::dragCursor());
    }
    QApplication::changeOverrideCursor(overDropTarget(globalPos) ? platform::dragCursor()
                                                                 : platform::noDropCursor());
}

void ThumbnailWindow::endDrag() {
    if (m_dragging)
        QApplication::restoreOverrideCursor();
    m_pressed = false;
    m_dragging = false;
}

void ThumbnailWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_app.adjustedPicturePresent = false;
    if (!m_pressed)
        return;
    const bool dragged = m_dragging;
    endDrag();
    if (!dragged)
        return;
    drop(event->globalPosition().toPoint(), std::exchange(m_copyMode, false));
}

void ThumbnailWindow::drop(QPoint globalPos, bool copy) {
    const AlbumState& albums = m_app.albums;
    if (albums.selectedPicture() < 0 || albums.selectedPicture() >= albums.pictureCount)
        return;
    QWidget* printWindow = m_host.printWindow();
    if (printWindow && printWindow->isVisible()) {
        const QPoint local = printWindow->mapFromGlobal(globalPos);
        if (printWindow->rect().contains(local)) {
            dropOnPrintWindow(local);
            return;
        }
    }
    const int album = m_albumWindow.tabAtGlobal(globalPos);
    if (album >= 0 && album != albums.currentAlbum)
        dropOnAlbum(album, copy);
}

void ThumbnailWindow::dropOnPrintWindow(QPoint posInPrintWindow) {
    AlbumState& albums = m_app.albums;
    if (m_app.layout == shell::Layout::OneUp) {
        showPicture(albums.selectedPicture());
        return;
    }
    m_host.placeOnSheet(posInPrintWindow);
    albums.albumJustChanged = false;
    m_host.displaySelectedPicture();
}

void ThumbnailWindow::dropOnAlbum(int targetAlbum, bool copy) {
    AlbumState& albums = m_app.albums;
    const StoreResult result =
        m_store.dropPictureOnAlbum(albums.selectedPicture(), targetAlbum, copy);
    if (result == StoreResult::Cancelled)
        return;
    const bool moved = !copy && (result == StoreResult::Done || result == StoreResult::NotSaved);
    refresh();
    if (albums.pictureCount == 0) {
        // The loaded picture left with the album's last row.
        m_app.clearPicture();
        m_host.refreshViews();
    } else if (moved) {
        // The rows moved up: what was loaded may now be another picture. The one
        // selected now is shown, and so becomes the loaded one.
        m_host.displaySelectedPicture();
    }
}

void ThumbnailWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_app.layout != shell::Layout::OneUp)
        return;
    const QPoint pos = event->position().toPoint();
    showPicture(grid::pictureAtFrame(pos.x(), pos.y(), scrollPosition(), m_app.albums.pictureCount,
                                     columns()));
}

void ThumbnailWindow::keyPressEvent(QKeyEvent* event) {
    AlbumState& albums = m_app.albums;
    grid::Move move;
    switch (event->key()) {
    case Qt::Key_Left:
        move = grid::Move::Left;
        break;
    case Qt::Key_Right:
        move = grid::Move::Right;
        break;
    case Qt::Key_Up:
        move = grid::Move::Up;
        break;
    case Qt::Key_Down:
        move = grid::Move::Down;
        break;
    case Qt::Key_Home:
        move = grid::Move::First;
        break;
    case Qt::Key_End:
        move = grid::Move::Last;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The keyboard's double-click.
        if (m_app.layout == shell::Layout::OneUp)
            showPicture(albums.selectedPicture());
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int next =
        grid::movedSelection(albums.selectedPicture(), move, albums.pictureCount, columns());
    if (next < 0 || next == albums.selectedPicture())
        return;
    // As with a click: the colour-adjusted copy belongs to the old selection.
    m_app.adjustedPicturePresent = false;
    select(next);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(
        grid::scrollToShow(next, columns(), bar->value(), bar->maximum(), viewport()->height()));
}

void ThumbnailWindow::wheelEvent(QWheelEvent* event) {
    // One row per notch, the same step as the scroll bar's arrows.
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    if (notches != 0) {
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(grid::scrollStep(bar->value(), -notches, bar->maximum()));
    }
    event->accept();
}

} // namespace kv::albums
