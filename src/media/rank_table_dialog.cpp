#include "media/rank_table_dialog.h"
#include "platform/qt_text.h"

#include "media/media_dialog_text.h"
#include "media/media_files.h"
#include "media/media_messages.h"
#include "media/rank_rebuild.h"
#include "platform/paths.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <optional>

namespace kv::media {

namespace {

using Icon = platform::Ui::Icon;

using platform::qs;

// The rank lists keep the fixed row height of 20 pixels whatever the font.
class RowHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(20);
        return size;
    }
};

// `widest` is a row as long as the longest the list shows, so no column is cut off.
QListWidget* rankList(const char* name, const std::string& widest, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list->setMinimumWidth(list->fontMetrics().horizontalAdvance(QString::fromStdString(widest)) +
                          40);
    list->setItemDelegate(new RowHeightDelegate(list));
    list->setUniformItemSizes(true);
    list->setMinimumHeight(20 * 12);
    return list;
}

QLabel* heading(std::string_view text, QWidget* parent) {
    auto* label = new QLabel(qs(text), parent);
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return label;
}

QLineEdit* valueEdit(std::string_view key, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(qs(key) + "Edit");
    edit->setAccessibleName(qs(key));
    return edit;
}

QPushButton* button(std::string_view text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(qs(text), parent);
    b->setObjectName(name);
    // Enter in an edit must not press a button: "Laden" would drop what was typed.
    b->setAutoDefault(false);
    return b;
}

std::string editText(const QLineEdit* edit) {
    return edit->text().toStdString();
}

} // namespace

RankTableDialog::RankTableDialog(MediaRankTable& table, std::filesystem::path programDir,
                                 platform::Ui& ui, QWidget* parent)
    : QDialog(parent), m_table(table), m_programDir(std::move(programDir)), m_ui(ui) {
    setObjectName("RankTableDialog");
    setWindowTitle(qs(text::kRankTableTitle));
    setModal(true);

    auto* sensBox = new QVBoxLayout;
    sensBox->addWidget(heading(text::kSensHeading, this));
    m_sensList = rankList("SensList", sensRowText(m_table, 0, RowSpacing::Double), this);
    sensBox->addWidget(m_sensList);
    auto* sensEdits = new QHBoxLayout;
    const std::array<std::string_view, 3> sensKeys = {"SensC", "SensM", "SensY"};
    for (std::size_t i = 0; i < m_sensEdits.size(); ++i) {
        m_sensEdits[i] = valueEdit(sensKeys[i], this);
        sensEdits->addWidget(m_sensEdits[i]);
    }
    sensBox->addLayout(sensEdits);

    auto* densBox = new QVBoxLayout;
    densBox->addWidget(heading(text::kDensHeading, this));
    m_densList = rankList("DensList", densRowText(m_table, 0, RowSpacing::Double), this);
    densBox->addWidget(m_densList);
    auto* densEdits = new QHBoxLayout;
    for (std::size_t i = 0; i < m_densEdits.size(); ++i) {
        m_densEdits[i] = valueEdit(kRankKeys[3 + i], this);
        densEdits->addWidget(m_densEdits[i]);
    }
    densBox->addLayout(densEdits);

    auto* fileGroup = new QGroupBox(qs(text::kRankFileGroup), this);
    auto* fileLabel = new QLabel(fileGroup);
    fileLabel->setObjectName("RankFileLabel");
    fileLabel->setText(QString::fromStdString(
        rankFileLabel(platform::findNoCase(m_programDir, std::string(kRankTableFile)))));
    fileLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    (new QVBoxLayout(fileGroup))->addWidget(fileLabel);

    auto* buttons = new QVBoxLayout;
    QPushButton* loadButton = button(text::kLoad, "LoadButton", this);
    QPushButton* saveButton = button(text::kSave, "SaveButton", this);
    QPushButton* sensButton = button(text::kSensRebuild, "SensRebuildButton", this);
    QPushButton* densButton = button(text::kDensRebuild, "DensRebuildButton", this);
    QPushButton* txtButton = button(text::kSaveTxt, "SaveTxtButton", this);
    QPushButton* closeButton = button(text::kClose, "CloseButton", this);
    for (QPushButton* b : {loadButton, saveButton, sensButton, densButton, txtButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(closeButton);

    auto* lists = new QHBoxLayout;
    lists->addLayout(sensBox, 3);
    lists->addLayout(densBox, 5);
    lists->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addWidget(fileGroup);

    connect(m_sensList, &QListWidget::currentRowChanged, this,
            [this](int row) { showSensRow(row); });
    connect(m_densList, &QListWidget::currentRowChanged, this,
            [this](int row) { showDensRow(row); });
    connect(loadButton, &QPushButton::clicked, this, [this] { load(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(sensButton, &QPushButton::clicked, this, [this] { rebuildSens(); });
    connect(densButton, &QPushButton::clicked, this, [this] { rebuildDens(); });
    connect(txtButton, &QPushButton::clicked, this, [this] { saveTxt(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    load();
    m_sensList->setFocus();
}

void RankTableDialog::load() {
    loadRankTable(m_programDir, m_table, m_ui);
    fillLists(false);
    m_sensList->setCurrentRow(0);
    m_densList->setCurrentRow(0);
    showSensRow(0);
    showDensRow(0);
}

void RankTableDialog::fillLists(bool saved) {
    const RowSpacing spacing = saved ? RowSpacing::Single : RowSpacing::Double;
    const int sensRow = m_sensList->currentRow();
    const int densRow = m_densList->currentRow();
    const QSignalBlocker sensBlock(m_sensList);
    const QSignalBlocker densBlock(m_densList);
    m_sensList->clear();
    m_densList->clear();
    for (int row = 0; row < kUsedRanks; ++row) {
        m_sensList->addItem(QString::fromStdString(sensRowText(m_table, row, spacing)));
        m_densList->addItem(QString::fromStdString(densRowText(m_table, row, spacing)));
    }
    m_sensList->setCurrentRow(sensRow);
    m_densList->setCurrentRow(densRow);
}

void RankTableDialog::showSensRow(int row) {
    if (row < 0 || row >= kUsedRanks)
        return;
    const auto r = static_cast<std::size_t>(row);
    const std::array<float, 3> values = {m_table.sensC[r], m_table.sensM[r], m_table.sensY[r]};
    for (std::size_t i = 0; i < values.size(); ++i)
        m_sensEdits[i]->setText(QString::fromStdString(sensitivityText(values[i])));
}

void RankTableDialog::showDensRow(int row) {
    if (row < 0 || row >= kUsedRanks)
        return;
    const auto r = static_cast<std::size_t>(row);
    const std::array<std::int16_t, 6> values = {m_table.tdtc[r], m_table.tdbc[r], m_table.tdtm[r],
                                                m_table.tdbm[r], m_table.tdty[r], m_table.tdby[r]};
    for (std::size_t i = 0; i < values.size(); ++i)
        m_densEdits[i]->setText(QString::number(values[i]));
}

void RankTableDialog::save() {
    // Every field is read before anything is stored, so one bad number leaves the
    // whole table as it was.
    std::array<float, 3> sens{};
    for (std::size_t i = 0; i < sens.size(); ++i) {
        const std::optional<float> value = readSensitivity(editText(m_sensEdits[i]));
        if (!value) {
            m_ui.message(kMsgSensitivityOutOfRange, Icon::Exclamation);
            m_sensEdits[i]->setFocus();
            return;
        }
        sens[i] = *value;
    }
    std::array<std::int16_t, 6> dens{};
    for (std::size_t i = 0; i < dens.size(); ++i) {
        const std::optional<std::int16_t> value = readInt16(editText(m_densEdits[i]));
        if (!value) {
            m_ui.message(kMsgDensityOutOfRange, Icon::Exclamation);
            m_densEdits[i]->setFocus();
            return;
        }
        dens[i] = *value;
    }
    const int sensRow = m_sensList->currentRow();
    if (sensRow >= 0 && sensRow < kUsedRanks) {
        const auto r = static_cast<std::size_t>(sensRow);
        m_table.sensC[r] = sens[0];
        m_table.sensM[r] = sens[1];
        m_table.sensY[r] = sens[2];
    }
    const int densRow = m_densList->currentRow();
    if (densRow >= 0 && densRow < kUsedRanks) {
        const auto r = static_cast<std::size_t>(densRow);
        m_table.tdtc[r] = dens[0];
        m_table.tdbc[r] = dens[1];
        m_table.tdtm[r] = dens[2];
        m_table.tdbm[r] = dens[3];
        m_table.tdty[r] = dens[4];
        m_table.tdby[r] = dens[5];
    }
    fillLists(true);
    showSensRow(sensRow);
    showDensRow(densRow);
    saveRankTable(m_programDir, m_table, m_ui);
}

void RankTableDialog::rebuildSens() {
    sensRebuild(m_table);
    fillLists(false);
    showSensRow(m_sensList->currentRow());
    m_ui.message(kMsgSensRebuildDone, Icon::None);
}

void RankTableDialog::rebuildDens() {
    densRebuild(m_table);
    fillLists(false);
    showDensRow(m_densList->currentRow());
    m_ui.message(kMsgDensRebuildDone, Icon::None);
}

void RankTableDialog::saveTxt() {
    exportMediaTxt(m_programDir, m_table, m_ui);
}

} // namespace kv::media
