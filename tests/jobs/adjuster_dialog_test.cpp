// The "Anpasser" service dialog: what it shows, what its buttons write, and keys.
#include "jobs/adjuster_dialog.h"

#include "adjuster_rig.h"
#include "jobs/adjuster_texts.h"
#include "printer/printer_messages.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace kv::jobs {
namespace {

namespace param = printer::parameter;

template <typename T> T* child(QWidget& parent, const QString& name) {
    T* widget = parent.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

struct DialogRig : test_rig::AdjusterRig {
    DialogRig() {
        preset(param::kVoltage, 0x91);
        preset(param::kHeaterTarget, 50);
        preset(param::kPageOffset, 41);
        preset(param::kLedMaskLow, 0xFF);
        preset(param::kLedMaskHigh, 0x00);
        presetLedTable(100, 120, 90);
        writeCurves([](int) { return 1.0f; });
    }
    AdjusterDialog& open() {
        dialog = std::make_unique<AdjusterDialog>(link, leds, folders.home());
        return *dialog;
    }
    std::string stored(const char* row) {
        auto* list = child<QListWidget>(*dialog, QStringLiteral("Stored") + row);
        return list->count() == 1 ? list->item(0)->text().toStdString()
                                  : "<" + std::to_string(list->count()) + ">";
    }
    QLineEdit* edit(const char* row) {
        return child<QLineEdit>(*dialog, QStringLiteral("New") + row);
    }
    QCheckBox* led(const char* name) {
        return child<QCheckBox>(*dialog, QStringLiteral("Led") + name);
    }
    void click(const char* button) { child<QPushButton>(*dialog, button)->click(); }

    std::unique_ptr<AdjusterDialog> dialog;
};

TEST(AdjusterDialog, OpensWithThePrintersValuesAndEscapeWritesNothing) {
    DialogRig rig;
    AdjusterDialog& dialog = rig.open();
    EXPECT_EQ(dialog.windowTitle().toStdString(), adjuster_text::kTitle);
    // The values themselves are checked with the reads; here that each reaches its row.
    EXPECT_EQ(rig.stored("Green"), "120");
    EXPECT_EQ(rig.stored("HeaterTemperature"), "50");
    EXPECT_EQ(rig.edit("Voltage")->text(), "145");
    EXPECT_EQ(dialog.findChild<QLineEdit*>("NewPcbTemperature"), nullptr);
    for (const char* on : {"R4", "G6", "B6", "G5", "R3", "B5", "G4", "B4"})
        EXPECT_TRUE(rig.led(on)->isChecked()) << on;
    for (const char* off : {"G3", "R2", "B3", "G2", "B2", "G1", "R1", "B1"})
        EXPECT_FALSE(rig.led(off)->isChecked()) << off;
    EXPECT_TRUE(rig.ui.texts().empty());
    EXPECT_EQ(rig.ui.waitDepth(), 0);
    EXPECT_GE(rig.ui.waitCount(), 1);

    const printer::PrinterMemory before = rig.vp.memory();
    dialog.show();
    rig.led("G1")->click();
    rig.edit("Voltage")->setText("3");
    QTest::keyClick(rig.edit("Voltage"), Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(rig.vp.memory(), before);
}

TEST(AdjusterDialog, EachSaveButtonWritesItsOwnGroupAndEnterOnlyCloses) {
    DialogRig rig;
    AdjusterDialog& dialog = rig.open();
    dialog.show();

    rig.edit("HeaterTarget")->setText("60");
    rig.edit("PageOffset")->setText("12");
    rig.edit("Voltage")->setText("7");
    rig.click("SaveHeaterButton");
    EXPECT_EQ(rig.vp.stored(param::kHeaterTarget), 60);
    EXPECT_EQ(rig.vp.stored(param::kPageOffset), 12);
    EXPECT_EQ(rig.vp.stored(param::kVoltage), 0x91);

    for (const char* name : {"R4", "G6", "B6", "G5", "R3", "B5", "G4", "B4", "G1"})
        rig.led(name)->click();
    rig.click("SaveLedButton");
    EXPECT_EQ(rig.vp.stored(param::kLedMaskLow), 0x00);
    EXPECT_EQ(rig.vp.stored(param::kLedMaskHigh), 0x20);

    rig.edit("Red")->setText("200");
    rig.click("SaveUpperButton");
    EXPECT_EQ(rig.vp.stored(param::kVoltage), 7);
    EXPECT_EQ(rig.vp.stored(param::kLedTableRed + 36), 200);
    EXPECT_EQ(rig.vp.stored(param::kLedTableGreen + 36), 120);
    EXPECT_TRUE(rig.ui.texts().empty());

    // A bad value is refused with a message and the dialog stays open.
    rig.edit("PageOffset")->setText("300");
    rig.click("SaveHeaterButton");
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{std::string(adjuster_text::kMsgNotAByte)});
    EXPECT_EQ(rig.vp.stored(param::kPageOffset), 12);

    EXPECT_TRUE(child<QPushButton>(dialog, "OkButton")->isDefault());
    EXPECT_FALSE(child<QPushButton>(dialog, "StandardUpperButton")->isEnabled());
    QTest::keyClick(rig.edit("Red"), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(AdjusterDialog, MasksThatCouldNotBeReadCannotBeWrittenBack) {
    DialogRig rig;
    rig.vp.setFault(true);
    AdjusterDialog& dialog = rig.open();
    EXPECT_FALSE(child<QGroupBox>(dialog, "LedGroup")->isEnabled());
    EXPECT_EQ(rig.stored("Voltage"), "<0>");
    EXPECT_EQ(rig.stored("Temperature"), "36");
    EXPECT_EQ(rig.edit("Voltage")->text(), "");
    const std::string failed(adjuster_text::kMsgReadFailed);
    const std::string notReady(printer::kMsgPrinterNotReady);
    EXPECT_EQ(rig.ui.texts(), (std::vector<std::string>{notReady, failed, notReady, failed}));
}

} // namespace
} // namespace kv::jobs
