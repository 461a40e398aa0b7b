#pragma once

#include <QWidget>

namespace kv::render {

// The large pane right of the album panel that shows the picture or the layout
// sheet, and the page preview. For now it shows its button-face background only.
class PrintWindow : public QWidget {
    Q_OBJECT
  public:
    explicit PrintWindow(QWidget* parent = nullptr);
};

} // namespace kv::render
