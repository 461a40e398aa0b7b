#include "media/media_type_dialog.h"

#include "media_rig.h"
#include "platform/profile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace kv::media {
namespace {

using test::PrinterRig;

std::string startupFlag(const PrinterRig& rig) {
    return platform::Profile(rig.home / "Kvx00.ini")
        .readString("SetMediaID", "DisplayAtStartup", "<none>");
}

TEST(MediaTypeDialog, OpensWithTheStoredValuesAndEscapeStoresNothing) {
    PrinterRig rig;
    kv::test::writeBytes(rig.home / "Kvx00.ini", "[MediaRank]\r\nsensC=B\r\n");
    MediaTypeDialog dialog(rig.context);
    auto* edit = dialog.findChild<QLineEdit*>("MediaIdEdit");
    auto* box = dialog.findChild<QCheckBox*>("DisplayAtStartupBox");
    ASSERT_TRUE(edit && box);
    EXPECT_EQ(edit->text(), "ABMMMMMMMM");
    EXPECT_EQ(edit->maxLength(), 10);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(rig.media.calibration.sensC, 0.8f) << "opening applies the stored ranks";

    dialog.show();
    box->click();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(startupFlag(rig), "<none>");
}

TEST(MediaTypeDialog, EnterRunsOkWhichClosesOnlyOnceStored) {
    PrinterRig rig;
    MediaTypeDialog dialog(rig.context);
    auto* edit = dialog.findChild<QLineEdit*>("MediaIdEdit");
    dialog.show();
    dialog.findChild<QCheckBox*>("DisplayAtStartupBox")->click();
    edit->setText("AMMMMMMMM");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(startupFlag(rig), "<none>");

    edit->setText("ammmmmmmmm");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(startupFlag(rig), "0");
    EXPECT_EQ(rig.ui.texts(),
              std::vector<std::string>{"Die Medienbezeichnung muß exakt 10 Zeichen enthalten."});
    EXPECT_EQ(rig.ui.waitCount(), 2);
    EXPECT_EQ(rig.ui.waitDepth(), 0);
}

} // namespace
} // namespace kv::media
