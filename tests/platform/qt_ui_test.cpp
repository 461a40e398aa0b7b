#include "platform/qt_ui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace kv::platform {
namespace {

struct SeenBox {
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    std::optional<Qt::CursorShape> cursor;
};

// Waits for the next message box, notes what it shows and presses `press`
// (Escape for NoButton). `seen` must outlive the box.
void answerNextBox(SeenBox& seen, QMessageBox::StandardButton press) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, &seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen = {box->windowTitle(),     box->text(), box->textFormat(), box->icon(),
                box->standardButtons(), std::nullopt};
        if (const QCursor* c = QApplication::overrideCursor())
            seen.cursor = c->shape();
        if (press == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(press)->click();
    });
    timer->start();
}

TEST(QtUi, BoxShowsTitleTextIconAndButtonsAndReturnsTheAnswer) {
    using B = QMessageBox;
    const struct {
        Ui::Icon icon;
        Ui::Buttons buttons;
        B::StandardButton press;
        B::Icon shownIcon;
        B::StandardButtons shown;
        Ui::Answer answer;
    } cases[] = {
        {Ui::Icon::Question, Ui::Buttons::YesNo, B::Yes, B::Question, B::Yes | B::No,
         Ui::Answer::Yes},
        {Ui::Icon::Question, Ui::Buttons::YesNo, B::NoButton, B::Question, B::Yes | B::No,
         Ui::Answer::No},
        {Ui::Icon::Stop, Ui::Buttons::RetryCancel, B::Retry, B::Critical, B::Retry | B::Cancel,
         Ui::Answer::Retry},
        {Ui::Icon::Exclamation, Ui::Buttons::RetryCancel, B::NoButton, B::Warning,
         B::Retry | B::Cancel, Ui::Answer::Cancel},
        {Ui::Icon::Information, Ui::Buttons::OkCancel, B::Cancel, B::Information, B::Ok | B::Cancel,
         Ui::Answer::Cancel},
        {Ui::Icon::None, Ui::Buttons::Ok, B::Ok, B::NoIcon, B::Ok, Ui::Answer::Ok},
    };
    // A line feed, an umlaut (UTF-8) and characters that markup would swallow.
    const std::string text = "Die Datei: /tmp/<b>&amp;.bmp kann nicht geladen werden!\n"
                             "Die Farben sind verf\xc3\xa4lscht.";
    QtUi ui;
    for (const auto& c : cases) {
        SeenBox seen;
        answerNextBox(seen, c.press);
        EXPECT_EQ(ui.ask(text, c.buttons, c.icon), c.answer);
        EXPECT_EQ(seen.title, "Kelvor Photo Viewer");
        EXPECT_EQ(seen.text, QString::fromUtf8(text.c_str()));
        EXPECT_EQ(seen.format, Qt::PlainText);
        EXPECT_EQ(seen.icon, c.shownIcon);
        EXPECT_EQ(seen.buttons, c.shown);
    }
    SeenBox seen;
    answerNextBox(seen, B::Ok);
    ui.message("Papier fehlt", Ui::Icon::Exclamation);
    EXPECT_EQ(seen.text, "Papier fehlt");
    EXPECT_EQ(seen.icon, B::Warning);
    EXPECT_EQ(seen.buttons, B::StandardButtons(B::Ok));
}

TEST(QtUi, WaitCursorNestsAndGivesWayToABox) {
    QtUi ui;
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        Ui::WaitCursor outer(ui);
        Ui::WaitCursor inner(ui);
        SeenBox seen;
        answerNextBox(seen, QMessageBox::Ok);
        ui.message("Papier fehlt", Ui::Icon::Exclamation);
        EXPECT_EQ(seen.cursor, Qt::ArrowCursor);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace kv::platform
