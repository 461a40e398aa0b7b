#pragma once

#include "platform/ui.h"

#include <QPointer>

class QWidget;

namespace kv::platform {

// The program's prompts as message boxes titled "Kelvor Photo Viewer", modal to
// the main window, and the wait cursor as Qt's override cursor.
class QtUi : public Ui {
  public:
    explicit QtUi(QWidget* parent = nullptr) : m_parent(parent) {}
    // The window the boxes are modal to; the main window once it exists.
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(std::string_view text, Icon icon) override;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override;

  protected:
    void beginWait() override;
    void endWait() override;

  private:
    QPointer<QWidget> m_parent;
};

} // namespace kv::platform
