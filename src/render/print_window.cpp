#include "render/print_window.h"
#include "platform/images_qt.h"

#include "render/layout_composition.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace kv::render {

namespace {

QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

QImage toImage(const platform::Bitmap24& bitmap) {
    return platform::toQImage(bitmap).convertToFormat(QImage::Format_RGB32);
}

} // namespace

PrintWindow::PrintWindow(shell::AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("PrintWindow"));
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);

    m_horizontal = new QScrollBar(Qt::Horizontal, this);
    m_vertical = new QScrollBar(Qt::Vertical, this);
    m_horizontal->setObjectName(QStringLiteral("PrintWindowHorizontalScrollBar"));
    m_vertical->setObjectName(QStringLiteral("PrintWindowVerticalScrollBar"));
    m_horizontal->setRange(0, kInitialHorizontalMax);
    m_vertical->setRange(0, kInitialVerticalMax);
    for (QScrollBar* bar : {m_horizontal, m_vertical}) {
        bar->setSingleStep(kScrollStep);
        // Shown only while a picture at its own size needs them.
        bar->hide();
        connect(bar, &QScrollBar::actionTriggered, this,
                [this, bar](int action) { stepScrollBar(bar, action); });
        connect(bar, &QScrollBar::valueChanged, this, &PrintWindow::scrollContent);
    }
}

void PrintWindow::paintEvent(QPaintEvent* /*event*/) {
    m_painting = true;
    QPainter painter(this);
    shell::AppState& state = m_state;
    const bool oneUp = state.layout == shell::Layout::OneUp;
    bool nothing = state.albums.pictureCount == 0 || (oneUp && state.albums.selectedPicture() == -1);
    if (!nothing && oneUp && state.albums.albumJustChanged) {
        // The first paint after an album switch stays empty; the next one draws.
        state.albums.albumJustChanged = false;
        nothing = true;
    }
    if (nothing || (oneUp && !state.displayedPicture)) {
        placeScrollBars({});
    } else if (oneUp) {
        paintOneUp(painter, *state.displayedPicture, state.displayedPicture.version());
    } else {
        paintSheet(painter);
    }
    m_painting = false;
}

void PrintWindow::paintOneUp(QPainter& painter, const platform::Bitmap24& bitmap,
                             std::uint64_t version) {
    const QImage& image = pictureImage(bitmap, version);
    const int w = bitmap.width;
    const int h = bitmap.height;
    if (!m_state.fitToWindow && !m_state.previewMode) {
        const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        placeScrollBars(ownSizeScroll(w, h, width(), height(), extent));
        if (image.isNull())
            return;
        painter.setClipRect(m_scrollArea);
        painter.drawImage(QPoint(-m_horizontal->value(), -m_vertical->value()), image);
        return;
    }
    placeScrollBars({});
    if (image.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_state.previewMode) {
        painter.drawImage(toQRect(fittedPlacement(w, h, width(), height())), image);
        return;
    }
    const PreviewPlacement preview = picturePreview(w, h, width(), height());
    painter.fillRect(toQRect(preview.paper), Qt::white);
    painter.drawImage(toQRect(preview.picture), image);
}

void PrintWindow::paintSheet(QPainter& painter) {
    placeScrollBars({});
    if (m_state.previewMode)
        painter.fillRect(toQRect(sheetPreview(width(), height()).paper), Qt::white);
    // The sheet changes in place with every drop, so it is converted at each paint.
    const QImage image = toImage(m_state.sheet);
    if (image.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(toQRect(drawnSheet()), image);
}

Rect PrintWindow::drawnSheet() const {
    if (m_state.previewMode)
        return sheetPreview(width(), height()).picture;
    return sheetPlacement(kSheetWidth, kSheetHeight, width(), height());
}

int PrintWindow::sheetCellAt(QPoint pos) const {
    switch (m_state.layout) {
    case shell::Layout::FourUp:
        return fourUpQuarterAt(pos.x(), pos.y(), width(), height());
    case shell::Layout::SixteenUp:
        return sixteenUpCellAt(drawnSheet(), pos.x(), pos.y());
    case shell::Layout::OneUp:
        break;
    }
    return -1;
}

void PrintWindow::placeScrollBars(const ScrollPlan& plan) {
    m_scrollArea = QRect(0, 0, plan.clientWidth, plan.clientHeight);
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    m_horizontal->setRange(0, plan.horizontalMax);
    m_vertical->setRange(0, plan.verticalMax);
    m_horizontal->setPageStep(std::max(1, plan.clientWidth));
    m_vertical->setPageStep(std::max(1, plan.clientHeight));
    m_horizontal->setGeometry(0, plan.clientHeight, plan.clientWidth, extent);
    m_vertical->setGeometry(plan.clientWidth, 0, extent, plan.clientHeight);
    m_horizontal->setVisible(plan.horizontalVisible);
    m_vertical->setVisible(plan.verticalVisible);
    m_shownX = m_horizontal->value();
    m_shownY = m_vertical->value();
}

void PrintWindow::stepScrollBar(QScrollBar* bar, int action) {
    ScrollRequest request;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        request = ScrollRequest::LineBack;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        request = ScrollRequest::LineForward;
        break;
    case QAbstractSlider::SliderPageStepSub:
        request = ScrollRequest::PageBack;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        request = ScrollRequest::PageForward;
        break;
    default:
        return; // thumb drags and the rest keep the bar's own handling
    }
    // The bar's value still holds the position before the request here.
    bar->setSliderPosition(scrolledPosition(bar->value(), bar->maximum(), request));
}

void PrintWindow::scrollContent() {
    const int x = m_horizontal->value();
    const int y = m_vertical->value();
    // Range changes while painting already draw at the new position.
    if (!m_painting && !m_scrollArea.isEmpty())
        scroll(m_shownX - x, m_shownY - y, m_scrollArea);
    m_shownX = x;
    m_shownY = y;
}

const QImage& PrintWindow::pictureImage(const platform::Bitmap24& bitmap, std::uint64_t version) {
    // A new picture may reuse the old buffer's address and size: only the
    // version tells them apart.
    if (version == 0 || version != m_pictureVersion) {
        m_picture = toImage(bitmap);
        m_pictureVersion = version;
    }
    return m_picture;
}

} // namespace kv::render
