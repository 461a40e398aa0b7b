#include "jobs/status_window.h"

#include <QFontMetrics>
#include <QPainter>

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

} // namespace

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
    p.setPen(colourOf(Ink::Navy, pal));
    p.drawText(toQRect(look.statusTextRect), Qt::AlignCenter | Qt::TextSingleLine,
               QString::fromStdString(m_state.statusText));

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
        p.setPen(colourOf(plan.textInk, pal));
        p.drawText(toQRect(plan.textRect), horizontal | Qt::AlignVCenter | Qt::TextSingleLine,
                   QString::fromStdString(plan.text));
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
