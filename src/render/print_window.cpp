#include "render/print_window.h"

#include <QPalette>

namespace kv::render {

PrintWindow::PrintWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PrintWindow"));
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
}

} // namespace kv::render
