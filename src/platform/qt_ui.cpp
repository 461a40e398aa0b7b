#include "platform/qt_ui.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace kv::platform {

namespace {

QMessageBox::Icon toQt(Ui::Icon icon) {
    switch (icon) {
    case Ui::Icon::Stop:
        return QMessageBox::Critical;
    case Ui::Icon::Exclamation:
        return QMessageBox::Warning;
    case Ui::Icon::Information:
        return QMessageBox::Information;
    case Ui::Icon::Question:
        return QMessageBox::Question;
    case Ui::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The box's buttons in the system's order; the first one is the default button.
QList<QMessageBox::StandardButton> buttonsOf(Ui::Buttons buttons) {
    switch (buttons) {
    case Ui::Buttons::YesNo:
        return {QMessageBox::Yes, QMessageBox::No};
    case Ui::Buttons::RetryCancel:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    case Ui::Buttons::OkCancel:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case Ui::Buttons::Ok:
        break;
    }
    return {QMessageBox::Ok};
}

Ui::Answer toAnswer(int button, Ui::Buttons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return Ui::Answer::Ok;
    case QMessageBox::Yes:
        return Ui::Answer::Yes;
    case QMessageBox::No:
        return Ui::Answer::No;
    case QMessageBox::Retry:
        return Ui::Answer::Retry;
    case QMessageBox::Cancel:
        return Ui::Answer::Cancel;
    default:
        break;
    }
    // Closed some other way: the negative answer, as the recording double gives.
    return buttons == Ui::Buttons::YesNo ? Ui::Answer::No : Ui::Answer::Cancel;
}

int showBox(QWidget* parent, std::string_view text, Ui::Buttons buttons, Ui::Icon icon) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("kvMessageBox"));
    box.setWindowTitle(QString::fromUtf8(Ui::kTitle.data(), qsizetype(Ui::kTitle.size())));
    // Paths and names in the texts may hold "<" or "&": never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    box.setIcon(toQt(icon));
    const auto list = buttonsOf(buttons);
    for (const auto b : list)
        box.addButton(b);
    box.setDefaultButton(list.front());
    // A box is answered, not left: no wait cursor over it while a long job waits.
    const bool overridden = QApplication::overrideCursor() != nullptr;
    if (overridden)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (overridden)
        QApplication::restoreOverrideCursor();
    return result;
}

} // namespace

void QtUi::message(std::string_view text, Icon icon) {
    showBox(m_parent, text, Buttons::Ok, icon);
}

Ui::Answer QtUi::ask(std::string_view text, Buttons buttons, Icon icon) {
    return toAnswer(showBox(m_parent, text, buttons, icon), buttons);
}

void QtUi::beginWait() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::endWait() {
    QApplication::restoreOverrideCursor();
}

} // namespace kv::platform
