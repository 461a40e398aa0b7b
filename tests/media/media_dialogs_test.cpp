#include "media/media_dialog_text.h"
#include "media/media_messages.h"
#include "media/printer_setup_dialog.h"
#include "media/rank_table_dialog.h"
#include "platform/profile.h"
#include "platform/recording_ui.h"
#include "printer/port_library.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <cstring>
#include <sstream>

namespace kv::media {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

template <typename T> T* child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

std::string rowText(QWidget& dialog, const char* list, int row) {
    return child<QListWidget>(dialog, list)->item(row)->text().toStdString();
}

void type(QWidget& dialog, const char* edit, const char* text) {
    child<QLineEdit>(dialog, edit)->setText(text);
}

std::string editText(QWidget& dialog, const char* edit) {
    return child<QLineEdit>(dialog, edit)->text().toStdString();
}

void click(QWidget& dialog, const char* name) {
    child<QPushButton>(dialog, name)->click();
}

bool hasLabel(QWidget& dialog, std::string_view text) {
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->text().toStdString() == text)
            return true;
    return false;
}

TEST(MediaDialogText, NumbersReadAsFarAsTheyReadButMustFit) {
    EXPECT_EQ(readInt16("12x"), 12);
    EXPECT_EQ(readInt16("abc"), 0);
    EXPECT_EQ(readInt16(" -32768"), -32768);
    EXPECT_EQ(readInt16("32768"), std::nullopt);
    EXPECT_EQ(readInt16("99999999999"), std::nullopt);
    EXPECT_EQ(readSensitivity("1.25x"), 1.25f);
    EXPECT_EQ(readSensitivity(""), 0.0f);
    EXPECT_EQ(readSensitivity("1e39"), std::nullopt);
    EXPECT_EQ(readSensitivity("1e999"), std::nullopt);
    // Shown sensitivities read back as the same float: saving a row never rounds it.
    const float odd = 0.69943148f;
    EXPECT_EQ(readSensitivity(sensitivityText(odd)), odd);
    EXPECT_EQ(rankFileLabel(fs::path(std::string(200, 'x'))).size(), 128u);
    EXPECT_EQ(rankFileLabel(fs::path(std::string(127, 'x') + "\xc3\xa4")).size(), 127u);
}

struct RankRig {
    test::TempDir dir;
    platform::RecordingUi ui;
    MediaRankTable table = MediaRankTable::defaults();
    RankTableDialog dialog{table, dir.path(), ui};
};

TEST(RankTableDialog, OpensWithAllRanksAndRowA) {
    RankRig rig;
    EXPECT_EQ(rig.dialog.windowTitle().toStdString(), "Rangordnungs-Tabelle");
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{"MEDIA.RTB existiert NICHT."});
    EXPECT_EQ(child<QListWidget>(rig.dialog, "SensList")->count(), 25);
    EXPECT_EQ(child<QListWidget>(rig.dialog, "DensList")->count(), 25);
    EXPECT_EQ(rowText(rig.dialog, "SensList", 0), "A  1.000 1.000 1.000");
    EXPECT_EQ(rowText(rig.dialog, "DensList", 0),
              " A        72      317      223      510      200      510");
    EXPECT_EQ(child<QListWidget>(rig.dialog, "SensList")->currentRow(), 0);
    EXPECT_EQ(child<QListWidget>(rig.dialog, "DensList")->currentRow(), 0);
    EXPECT_EQ(editText(rig.dialog, "SensCEdit"), "1");
    EXPECT_EQ(editText(rig.dialog, "TDBYEdit"), "510");
    EXPECT_TRUE(hasLabel(rig.dialog, "RANK sens.C   sens.M   sens.Y"));
    EXPECT_TRUE(hasLabel(rig.dialog, "RANK TDTC   TDBC   TDTM   TDBM   TDTY    TDBY"));
    EXPECT_EQ(child<QLabel>(rig.dialog, "RankFileLabel")->text().toStdString(),
              (rig.dir / "Media.rtb").string());
}

TEST(RankTableDialog, SpeichernStoresTheSelectedRowsAndWritesMediaRtb) {
    RankRig rig;
    child<QListWidget>(rig.dialog, "SensList")->setCurrentRow(2);
    child<QListWidget>(rig.dialog, "DensList")->setCurrentRow(4);
    type(rig.dialog, "SensMEdit", "1.25x");
    type(rig.dialog, "TDBMEdit", "-300");
    click(rig.dialog, "SaveButton");

    const std::string bytes = readBytes(rig.dir / "Media.rtb");
    ASSERT_EQ(bytes.size(), 720u);
    float sens = 0;
    std::memcpy(&sens, bytes.data() + 120 + 2 * 4, 4);
    EXPECT_EQ(sens, 1.25f);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[540 + 4 * 2]), 0xD4); // -300 little-endian
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[540 + 4 * 2 + 1]), 0xFE);
    EXPECT_EQ(rowText(rig.dialog, "SensList", 2), "C 1.000 1.250 1.000");
    EXPECT_EQ(rowText(rig.dialog, "DensList", 4),
              " E       72      317      223     -300      200      510");
    EXPECT_EQ(child<QListWidget>(rig.dialog, "SensList")->currentRow(), 2);
    EXPECT_EQ(child<QListWidget>(rig.dialog, "DensList")->currentRow(), 4);
}

TEST(RankTableDialog, DensityBeyondSixteenBitsIsRefusedWithNothingStored) {
    RankRig rig;
    type(rig.dialog, "SensCEdit", "2");
    type(rig.dialog, "TDTCEdit", "40000");
    rig.ui.clear();
    click(rig.dialog, "SaveButton");
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{std::string(kMsgDensityOutOfRange)});
    EXPECT_FALSE(fs::exists(rig.dir / "Media.rtb"));
    EXPECT_EQ(rig.table, MediaRankTable::defaults());
}

TEST(RankTableDialog, RebuildsStayInMemoryUntilSavedOrReported) {
    RankRig rig;
    rig.ui.clear();
    click(rig.dialog, "SensRebuildButton");
    click(rig.dialog, "DensRebuildButton");
    EXPECT_EQ(rig.ui.texts(),
              (std::vector<std::string>{"Beende SensRebuild", "Beende DensRebuild"}));
    EXPECT_EQ(rowText(rig.dialog, "SensList", 0), "A  0.699 0.699 0.699");
    EXPECT_EQ(rowText(rig.dialog, "SensList", 12), "M  1.000 1.000 1.000");
    EXPECT_EQ(rowText(rig.dialog, "DensList", 12),
              " M        72      317      223      510      200      510");
    EXPECT_EQ(editText(rig.dialog, "SensCEdit"), sensitivityText(rig.table.sensC[0]));
    EXPECT_FALSE(fs::exists(rig.dir / "Media.rtb"));

    rig.ui.clear();
    click(rig.dialog, "SaveTxtButton");
    EXPECT_NE(readBytes(rig.dir / "media.txt").find("A      0.699 0.699 0.699"), std::string::npos);
    EXPECT_EQ(rig.ui.texts(),
              std::vector<std::string>{"Rangtabelle in Datei MEDIA.TXT gespeichert."});
}

// A gamma table file written by hand: red 4 * i capped per test, green i, blue 0.
std::string gammaFile(int (*red)(int)) {
    std::string text;
    for (int i = 0; i < 257; ++i)
        text +=
            std::to_string(i) + "  " + std::to_string(red(i)) + "  " + std::to_string(i) + "  0 \n";
    return text;
}

std::string unitTemperaFile() {
    std::string bytes;
    const float one = 1.0f;
    for (int i = 0; i < 213; ++i)
        bytes.append(reinterpret_cast<const char*>(&one), 4);
    return bytes;
}

struct SetupRig {
    SetupRig() {
        fs::create_directories(folders.home());
        fs::create_directories(folders.system());
        media.rankTable.tdtc[2] = 99;
        media.rankTable.tdtc[3] = 111;
        media.rankTable.sensC[12] = 1.5f;
        writeBytes(folders.home() / "Kvx00.ini", "[MediaRank]\r\nTDTC=C\r\n");
        writeBytes(folders.home() / "GammaTable.tbl",
                   gammaFile([](int i) { return i == 8 ? 61 : 0; }));
        writeBytes(folders.home() / "TEMPERA.TUR", unitTemperaFile());
    }
    test::ScopedProgramFolders folders;
    platform::FakeClock clock;
    platform::RecordingUi ui;
    printer::VirtualPrinter printer{clock, folders.home() / "vp", {.warmUpMs = 0}};
    printer::SimPort port{printer};
    printer::InProcessPortApi api{port, {.hasPort = {}, .afterReset = [this] {
                                             printer.reset();
                                             return true;
                                         }}};
    printer::PrinterLink link{api, clock, ui, nullptr, folders.system()};
    MediaState media;
    printer::LedTable ledTable;
    std::unique_ptr<PrinterSetupDialog> dialog;

    PrinterSetupDialog& open() {
        dialog = std::make_unique<PrinterSetupDialog>(media, ledTable, link, folders.home(), ui);
        return *dialog;
    }
};

TEST(PrinterSetupDialog, OpensOnTheStoredRanksAndTheGammaFile) {
    SetupRig rig;
    PrinterSetupDialog& d = rig.open();
    EXPECT_EQ(d.windowTitle().toStdString(), "Drucker-Setup");
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{});
    auto* gamma = child<QListWidget>(d, "GammaList");
    ASSERT_EQ(gamma->count(), 65);
    EXPECT_TRUE(hasLabel(d, "   In     R'    G'    B'"));
    EXPECT_EQ(rowText(d, "GammaList", 0), "000    0    0    0");
    EXPECT_EQ(rowText(d, "GammaList", 2), "008   61    8    0");
    EXPECT_EQ(rowText(d, "GammaList", 64), "256    0  256    0");
    EXPECT_EQ(gamma->currentRow(), 0);
    EXPECT_FALSE(child<QPushButton>(d, "PrinterButton")->isEnabled());

    auto* tdtc = child<QComboBox>(d, "RankList_TDTC");
    EXPECT_EQ(tdtc->count(), 25);
    EXPECT_EQ(tdtc->currentText().toStdString(), "C");
    EXPECT_EQ(editText(d, "Selected_TDTC"), "99");
    EXPECT_EQ(editText(d, "Selected_sensC"), "1.500");
    EXPECT_EQ(editText(d, "Base_RLimit"), "1019");
    EXPECT_TRUE(hasLabel(d, "R240RATIO"));
    EXPECT_TRUE(hasLabel(d, "rg"));

    // Choosing a letter takes its value; the stored index stays for the next opening.
    tdtc->setCurrentIndex(3);
    EXPECT_EQ(editText(d, "Selected_TDTC"), "111");
    EXPECT_EQ(rig.media.calibration.tdtc, 111);
    EXPECT_EQ(rig.media.calibration.rankIndex[3], 2);

    gamma->setCurrentRow(2);
    EXPECT_EQ(editText(d, "GammaInEdit"), "8");
    EXPECT_EQ(editText(d, "GammaREdit"), "61");
}

TEST(PrinterSetupDialog, GammaSpeichernCutsTheSpreadAndWritesTheFile) {
    SetupRig rig;
    PrinterSetupDialog& d = rig.open();
    child<QListWidget>(d, "GammaList")->setCurrentRow(1);
    type(d, "GammaREdit", "100");
    click(d, "GammaSaveButton");

    std::istringstream file(readBytes(rig.folders.home() / "GammaTable.tbl"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 257u);
    const char* expected[] = {"0  0  0  0 ",  "1  25  1  0 ",  "2  50  2  0 ",
                              "3  75  3  0 ", "4  100  4  0 ", "5  91  5  0 ",
                              "6  81  6  0 ", "7  71  7  0 ",  "8  61  8  0 "};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(lines[i], expected[i]);
    EXPECT_EQ(rowText(d, "GammaList", 1), "004  100    4    0");
    EXPECT_EQ(child<QListWidget>(d, "GammaList")->currentRow(), 1);

    type(d, "GammaREdit", "70000");
    rig.ui.clear();
    click(d, "GammaSaveButton");
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{std::string(kMsgGammaValueOutOfRange)});
    EXPECT_EQ(rig.media.gamma.table[0][4], 100);
}

TEST(PrinterSetupDialog, WiederaufbauenUsesTheTypedLimitWithoutWritingFiles) {
    SetupRig rig;
    PrinterSetupDialog& d = rig.open();
    const std::string gammaBefore = readBytes(rig.folders.home() / "GammaTable.tbl");
    type(d, "Base_RLimit", "300");
    click(d, "RebuildButton");
    EXPECT_EQ(rowText(d, "GammaList", 56), "224  300  510  510");
    EXPECT_EQ(rowText(d, "GammaList", 64), "256  300  714  714");
    EXPECT_EQ(rig.media.calibration.baseMediaValue("RLimit"), "300");
    EXPECT_EQ(rig.ledTable.colourFactor(printer::LedColour::Red), 1.5);
    EXPECT_EQ(readBytes(rig.folders.home() / "GammaTable.tbl"), gammaBefore);
    EXPECT_FALSE(fs::exists(rig.folders.home() / "BasMedia.ini"));
}

TEST(PrinterSetupDialog, SpeichernStoresLettersNotIdStringAndUploadsTheLedTable) {
    SetupRig rig;
    writeBytes(rig.folders.system() / "kvx00.ini", "");
    PrinterSetupDialog& d = rig.open();
    child<QComboBox>(d, "RankList_sensY")->setCurrentIndex(3);
    type(d, "Base_OVrg", "0.9");
    rig.ledTable.setColourFactors(1.5, 1.0, 1.0);
    click(d, "SaveButton");

    const platform::Profile settings(rig.folders.home() / "Kvx00.ini");
    EXPECT_EQ(settings.readString("MediaRank", "sensY", ""), "D");
    EXPECT_EQ(settings.readString("MediaRank", "TDTC", ""), "C");
    EXPECT_EQ(
        platform::Profile(rig.folders.system() / "kvx00.ini").readString("MediaRank", "sensY", ""),
        "D");
    EXPECT_EQ(rig.media.currentMediaId, "AMMDCMMMMM");
    EXPECT_FALSE(fs::exists(rig.folders.system() / "kvprn.ini"));
    EXPECT_EQ(
        platform::Profile(rig.folders.home() / "BasMedia.ini").readString("BaseMedia", "OVrg", ""),
        "0.9");

    // The bracket's 3.6 s under the wait cursor, then the table at the printer:
    // factory PWM 128 times the factor on flat curves.
    EXPECT_GE(rig.clock.tickMs(), 3600u);
    EXPECT_EQ(rig.ui.waitCount(), 1);
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{});
    EXPECT_EQ(rig.printer.stored(0x21), 192);
    EXPECT_EQ(rig.printer.stored(0x68 + 70), 128);
}

} // namespace
} // namespace kv::media
