#include "media/printer_setup_dialog.h"
#include "platform/qt_text.h"

#include "media/gamma_curves.h"
#include "media/media_dialog_text.h"
#include "media/media_files.h"
#include "media/media_id.h"
#include "media/media_messages.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "printer/printer_commands.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

namespace kv::media {

namespace {

using Icon = platform::Ui::Icon;

// Base-media fields in kBaseMediaKeys order: seven R/G/B families, then the
// P, Q and R rows of six coefficients, then the three overlap factors.
constexpr int kFamilyFields = 21;
constexpr int kCrossColourFields = 18;

using platform::qs;

QLineEdit* edit(const QString& name, QWidget* parent, bool readOnly = false) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setReadOnly(readOnly);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("-00000.000")) + 12);
    if (readOnly)
        e->setFocusPolicy(Qt::NoFocus);
    return e;
}

QPushButton* button(std::string_view text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(qs(text), parent);
    b->setObjectName(name);
    // Enter in an edit must not press a button: "Laden" would drop what was typed.
    b->setAutoDefault(false);
    return b;
}

QLabel* label(const std::string& text, QWidget* parent) {
    return new QLabel(QString::fromStdString(text), parent);
}

} // namespace

PrinterSetupDialog::PrinterSetupDialog(MediaState& media, printer::LedTable& ledTable,
                                       printer::PrinterLink& link, std::filesystem::path programDir,
                                       platform::Ui& ui, QWidget* parent)
    : QDialog(parent), m_media(media), m_ledTable(ledTable), m_link(link),
      m_programDir(std::move(programDir)), m_ui(ui) {
    setObjectName("PrinterSetupDialog");
    setWindowTitle(qs(text::kPrinterSetupTitle));
    setModal(true);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto* rankGroup = new QGroupBox(qs(text::kRankGroup), this);
    auto* rankGrid = new QGridLayout(rankGroup);
    for (std::size_t c = 0; c < kRankColumns; ++c) {
        const QString key = qs(kRankKeys[c]);
        auto* list = new QComboBox(rankGroup);
        list->setObjectName("RankList_" + key);
        for (int row = 0; row < kUsedRanks; ++row)
            list->addItem(QString::fromStdString(platform::formatC("%c", rankLetter(row))));
        m_rankLists[c] = list;
        m_selectedValues[c] = edit("Selected_" + key, rankGroup, true);
        QLabel* name = label(selectedValueLabel(static_cast<RankColumn>(c)), rankGroup);
        name->setBuddy(list);
        rankGrid->addWidget(name, static_cast<int>(c), 0);
        rankGrid->addWidget(list, static_cast<int>(c), 1);
        rankGrid->addWidget(m_selectedValues[c], static_cast<int>(c), 2);
        connect(list, &QComboBox::currentIndexChanged, this,
                [this, c](int row) { chooseRank(c, row); });
    }

    auto* baseGroup = new QGroupBox(qs(text::kBaseMediaGroup), this);
    auto* baseGrid = new QGridLayout(baseGroup);
    for (int i = 0; i < kBaseMediaCount; ++i) {
        const std::string_view key = kBaseMediaKeys[static_cast<std::size_t>(i)].name;
        QLineEdit* field = edit("Base_" + qs(key), baseGroup);
        m_baseMedia[static_cast<std::size_t>(i)] = field;
        if (i < kFamilyFields) {
            // One line per family, red, green and blue side by side.
            const int row = i / 3, col = 2 * (i % 3);
            baseGrid->addWidget(label(baseMediaLabel(key), baseGroup), row, col);
            baseGrid->addWidget(field, row, col + 1);
        } else if (i < kFamilyFields + kCrossColourFields) {
            // Rows P, Q and R under the headings rg, rb, gr, gb, br, bg.
            const int j = i - kFamilyFields, row = 8 + j / 6, col = 1 + j % 6;
            if (j % 6 == 0)
                baseGrid->addWidget(label(std::string(key.substr(0, 1)), baseGroup), row, 0);
            if (j < 6)
                baseGrid->addWidget(label(std::string(key.substr(1)), baseGroup), 7, col);
            baseGrid->addWidget(field, row, col);
        } else {
            const int col = 2 * (i - kFamilyFields - kCrossColourFields);
            baseGrid->addWidget(label(baseMediaLabel(key), baseGroup), 11, col);
            baseGrid->addWidget(field, 11, col + 1);
        }
    }

    auto* gammaGroup = new QGroupBox(qs(text::kGammaTableGroup), this);
    auto* gammaBox = new QVBoxLayout(gammaGroup);
    auto* gammaHeading = new QLabel(qs(text::kGammaHeading), gammaGroup);
    gammaHeading->setFont(fixed);
    m_gammaList = new QListWidget(gammaGroup);
    m_gammaList->setObjectName("GammaList");
    m_gammaList->setFont(fixed);
    m_gammaList->setUniformItemSizes(true);
    m_gammaList->setMinimumWidth(
        m_gammaList->fontMetrics().horizontalAdvance(qs(text::kGammaHeading)) + 40);
    gammaBox->addWidget(gammaHeading);
    gammaBox->addWidget(m_gammaList);

    auto* editGroup = new QGroupBox(qs(text::kGammaEditGroup), this);
    auto* editGrid = new QGridLayout(editGroup);
    m_gammaIn = edit("GammaInEdit", editGroup, true);
    editGrid->addWidget(label(std::string(text::kGammaIn), editGroup), 0, 0);
    editGrid->addWidget(m_gammaIn, 0, 1);
    const std::array<std::string_view, 3> valueNames = {text::kGammaR, text::kGammaG,
                                                        text::kGammaB};
    const std::array<const char*, 3> valueObjects = {"GammaREdit", "GammaGEdit", "GammaBEdit"};
    for (int c = 0; c < 3; ++c) {
        m_gammaValues[c] = edit(valueObjects[c], editGroup);
        QLabel* name = label(std::string(valueNames[c]), editGroup);
        name->setBuddy(m_gammaValues[c]);
        editGrid->addWidget(name, 1 + c, 0);
        editGrid->addWidget(m_gammaValues[c], 1 + c, 1);
    }
    QPushButton* gammaSave = button(text::kGammaSave, "GammaSaveButton", editGroup);
    editGrid->addWidget(gammaSave, 4, 0, 1, 2);

    QPushButton* loadButton = button(text::kLoad, "LoadButton", this);
    QPushButton* saveButton = button(text::kSave, "SaveButton", this);
    QPushButton* rebuildButton = button(text::kRebuild, "RebuildButton", this);
    QPushButton* printerButton = button(text::kPrinter, "PrinterButton", this);
    printerButton->setEnabled(false);
    QPushButton* closeButton = button(text::kClose, "CloseButton", this);

    auto* left = new QVBoxLayout;
    left->addWidget(rankGroup);
    left->addWidget(baseGroup);
    auto* gammaColumn = new QVBoxLayout;
    gammaColumn->addWidget(gammaGroup, 1);
    gammaColumn->addWidget(editGroup);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {loadButton, saveButton, rebuildButton, printerButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(gammaColumn);
    layout->addLayout(buttons);

    connect(m_gammaList, &QListWidget::currentRowChanged, this, [this](int k) { showGammaRow(k); });
    connect(gammaSave, &QPushButton::clicked, this, [this] { saveGamma(); });
    connect(loadButton, &QPushButton::clicked, this, [this] { load(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(rebuildButton, &QPushButton::clicked, this, [this] { rebuild(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    load();
    m_rankLists[0]->setFocus();
}

void PrinterSetupDialog::load() {
    loadMediaSelection(m_programDir, m_media);
    for (std::size_t c = 0; c < kRankColumns; ++c) {
        const QSignalBlocker block(m_rankLists[c]);
        const int row = m_media.calibration.rankIndex[c];
        m_rankLists[c]->setCurrentIndex(row >= 0 && row < kUsedRanks ? row : kNominalRank);
    }
    loadBaseMedia(m_programDir, m_media.calibration);
    // A missing or damaged file leaves the tables as they are (the reader says so).
    readGammaTable(m_programDir, m_media.gamma, m_ui);
    m_media.gamma.pointsFromTable();
    fillGammaList(0);
    showSelectedValues();
    showBaseMedia();
}

void PrinterSetupDialog::chooseRank(std::size_t column, int row) {
    if (row < 0)
        return;
    m_media.calibration.setSelectedValue(m_media.rankTable, static_cast<RankColumn>(column), row);
    showSelectedValues();
}

void PrinterSetupDialog::takeBaseMedia() {
    for (std::size_t i = 0; i < m_baseMedia.size(); ++i)
        m_media.calibration.baseMedia[i] = m_baseMedia[i]->text().toStdString();
}

void PrinterSetupDialog::fillGammaList(int selectRow) {
    const QSignalBlocker block(m_gammaList);
    m_gammaList->clear();
    for (int k = 0; k < kGammaPoints; ++k)
        m_gammaList->addItem(QString::fromStdString(gammaRowText(m_media.gamma, k)));
    m_gammaList->setCurrentRow(selectRow);
    showGammaRow(selectRow);
}

void PrinterSetupDialog::showGammaRow(int k) {
    if (k < 0 || k >= kGammaPoints)
        return;
    m_gammaIn->setText(QString::number(4 * k));
    for (std::size_t c = 0; c < 3; ++c)
        m_gammaValues[c]->setText(QString::number(m_media.gamma.table[c][4 * k]));
}

void PrinterSetupDialog::showSelectedValues() {
    for (std::size_t c = 0; c < kRankColumns; ++c)
        m_selectedValues[c]->setText(QString::fromStdString(
            selectedValueText(m_media.calibration, static_cast<RankColumn>(c))));
}

void PrinterSetupDialog::showBaseMedia() {
    for (std::size_t i = 0; i < m_baseMedia.size(); ++i) {
        m_baseMedia[i]->setText(QString::fromStdString(m_media.calibration.baseMedia[i]));
        m_baseMedia[i]->setCursorPosition(0);
    }
}

void PrinterSetupDialog::saveGamma() {
    const int k = m_gammaList->currentRow();
    if (k < 0 || k >= kGammaPoints)
        return;
    std::array<std::int16_t, 3> values{};
    for (std::size_t c = 0; c < 3; ++c) {
        const std::optional<std::int16_t> value = readInt16(m_gammaValues[c]->text().toStdString());
        if (!value) {
            m_ui.message(kMsgGammaValueOutOfRange, Icon::Exclamation);
            m_gammaValues[c]->setFocus();
            return;
        }
        values[c] = *value;
    }
    for (std::size_t c = 0; c < 3; ++c)
        m_media.gamma.table[c][static_cast<std::size_t>(4 * k)] = values[c];
    expandPointsCut(m_media.gamma);
    writeGammaTable(m_programDir, m_media.gamma, m_ui);
    m_media.gamma.pointsFromTable();
    fillGammaList(k);
}

void PrinterSetupDialog::rebuild() {
    takeBaseMedia();
    rebuildGammaCurves(m_media.calibration, m_media.gamma);
    const std::array<double, 3> factors = colourFactors(m_media.calibration);
    m_ledTable.setColourFactors(factors[0], factors[1], factors[2]);
    fillGammaList(std::max(m_gammaList->currentRow(), 0));
}

void PrinterSetupDialog::save() {
    takeBaseMedia();
    writeGammaTable(m_programDir, m_media.gamma, m_ui);
    if (!saveBaseMedia(m_programDir, m_media.calibration))
        m_ui.message(kMsgBaseMediaNotSaved, Icon::Exclamation);

    std::string id = "A";
    for (QComboBox* list : m_rankLists)
        id += rankLetter(std::max(list->currentIndex(), 0));
    // The letters go to [MediaRank] only; kvprn.ini keeps the identification the
    // printer was last set up for, so the next print job recalibrates.
    MediaSettings settings(m_programDir, platform::systemDirectory());
    if (settings.storeRankLetters(std::string_view(id).substr(1)))
        m_media.currentMediaId = id;
    else
        m_ui.message(kMsgRanksNotStored, Icon::Exclamation);

    const platform::Ui::WaitCursor wait(m_ui);
    printer::uploadLedTableBracketed(m_link, m_programDir, m_ledTable, 1);
}

} // namespace kv::media
