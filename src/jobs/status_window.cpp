#include "jobs/status_window.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>

#include <algorithm>

namespace kv::jobs {

namespace {

QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

QColor colourOf(Ink ink, const QPalette& palette) {
    switch (ink) {
    case Ink::ButtonFace:
        return palette.color(QPalette::Button);
    case Ink::Navy:
        return QColor(0, 0, 128);
    case Ink::Red:
        return QColor(255, 0, 0);
    case Ink::White:
        return Qt::white;
    case Ink::Black:
        break;
    }
    return Qt::black;
}

void drawPanel(QPainter& p, const InsetPanel& panel) {
    const int w = panel.x2 - panel.x1;
    const int h = panel.y2 - panel.y1;
    if (w < 1 || h < 1)
        return;
    p.fillRect(panel.x1, panel.y1, w, 1, Qt::black);
    p.fillRect(panel.x1, panel.y1, 1, h, Qt::black);
    p.fillRect(panel.x2, panel.y1, 1, h + 1, Qt::white);
    p.fillRect(panel.x1, panel.y2, w + 1, 1, Qt::white);
}

// Draws `text` fitted into `rect`, kept inside `clip`; where it lies over a bar of
// its own colour it is drawn white, so red text on the red warm-up bar stays
// readable.
void drawFittedText(QPainter& p, const QRect& rect, const QRect& clip, Qt::Alignment alignment,
                    const QString& text, const QColor& ink, const QRect& sameColouredBar) {
    p.save();
    p.setClipRect(clip);
    const QFont font = fittedFont(p.font(), text, rect.width());
    p.setFont(font);
    const QString shown =
        QFontMetrics(font).elidedText(text, Qt::ElideRight, std::max(0, rect.width()));
    const int flags = int(alignment) | Qt::TextSingleLine;
    if (sameColouredBar.isEmpty()) {
        p.setPen(ink);
        p.drawText(rect, flags, shown);
    } else {
        p.setClipRegion(QRegion(clip).subtracted(QRegion(sameColouredBar)));
        p.setPen(ink);
        p.drawText(rect, flags, shown);
        p.setClipRect(sameColouredBar.intersected(clip));
        p.setPen(Qt::white);
        p.drawText(rect, flags, shown);
    }
    p.restore();
}

} // namespace

QFont fittedFont(const QFont& base, const QString& text, int width) {
    constexpr qreal kSmallestPoints = 6.0;
    QFont font = base;
    if (font.pointSizeF() <= 0) // a pixel-sized font
        font.setPointSizeF(9.0);
    while (QFontMetrics(font).horizontalAdvance(text) > width &&
           font.pointSizeF() - 0.5 >= kSmallestPoints)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    return font;
}

StatusWindow::StatusWindow(const shell::AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("StatusWindow"));
    setWindowTitle(QStringLiteral("Main Window Status"));
    setFixedHeight(kHeight);
    // Every pixel is painted; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StatusWindow::showProgress(int value) {
    m_progress = progressPlan(Rect{0, 0, width(), height()}, flags, value);
    repaint();
}

void StatusWindow::redraw() {
    m_progress.reset();
    repaint();
}

void StatusWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    const QColor face = colourOf(Ink::ButtonFace, pal);
    const RestingLook look = restingLook(Rect{0, 0, width(), height()});

    p.fillRect(toQRect(look.client), face);
    p.fillRect(toQRect(look.topLine), Qt::black);
    drawPanel(p, look.leftPanel);
    drawPanel(p, look.rightPanel);
    drawFittedText(p, toQRect(look.statusTextRect), toQRect(look.statusTextRect), Qt::AlignCenter,
                   QString::fromStdString(m_state.statusText), colourOf(Ink::Navy, pal), {});

    if (!m_progress)
        return;
    const ProgressPlan& plan = *m_progress;
    if (!plan.box.isEmpty()) {
        p.fillRect(toQRect(plan.box), Qt::black);
        p.fillRect(toQRect(plan.box).adjusted(1, 1, -1, -1), Qt::white);
    }
    if (!plan.bar.isEmpty())
        p.fillRect(toQRect(plan.bar), colourOf(plan.barInk, pal));
    if (!plan.textRect.isEmpty()) {
        const Qt::Alignment horizontal =
            plan.textAlign == TextAlign::Centre ? Qt::AlignHCenter : Qt::AlignLeft;
        const QRect sameColouredBar = plan.barInk == plan.textInk ? toQRect(plan.bar) : QRect();
        // Inside the box: the text never paints over its outline.
        const QRect inside =
            plan.box.isEmpty() ? toQRect(plan.textRect) : toQRect(plan.box).adjusted(1, 1, -1, -1);
        drawFittedText(p, toQRect(plan.textRect), inside, horizontal | Qt::AlignVCenter,
                       QString::fromStdString(plan.text), colourOf(plan.textInk, pal),
                       sameColouredBar);
    }
    if (plan.percentage) {
        const QString text = QString::fromStdString(*plan.percentage);
        const QFontMetrics metrics(font());
        const QRect cell(plan.percentageAt.x, plan.percentageAt.y, metrics.horizontalAdvance(text),
                         metrics.height());
        p.fillRect(cell, face);
        p.setPen(colourOf(Ink::Navy, pal));
        p.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
}

} // namespace kv::jobs
