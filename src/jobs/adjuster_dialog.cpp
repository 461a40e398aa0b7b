#include "jobs/adjuster_dialog.h"

#include "jobs/adjuster_texts.h"
#include "platform/qt_text.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv::jobs {

namespace {

using platform::qs;
namespace text = adjuster_text;

struct RowLayout {
    std::string_view label;
    const char* name; // object names: "Stored<name>", "New<name>"
};

constexpr std::array<RowLayout, kAdjusterRows> kRows = {{
    {text::kRowRed, "Red"},
    {text::kRowGreen, "Green"},
    {text::kRowBlue, "Blue"},
    {text::kRowTemperature, "Temperature"},
    {text::kRowVoltage, "Voltage"},
    {text::kRowHeaterTarget, "HeaterTarget"},
    {text::kRowPageOffset, "PageOffset"},
    {text::kRowPcbTemperature, "PcbTemperature"},
    {text::kRowHeaterTemperature, "HeaterTemperature"},
}};

QPushButton* button(std::string_view caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(qs(caption), parent);
    b->setObjectName(name);
    // Enter in an edit closes with "OK"; it must never write to the printer.
    b->setAutoDefault(false);
    return b;
}

// A list box that holds one value, as the printer reported it.
QListWidget* storedList(const char* name, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QStringLiteral("Stored") + QLatin1String(name));
    list->setFocusPolicy(Qt::NoFocus);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int width = list->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16;
    list->setFixedSize(width, list->fontMetrics().height() + 8);
    return list;
}

} // namespace

AdjusterDialog::AdjusterDialog(printer::PrinterLink& link, printer::LedTable& ledTable,
                               std::filesystem::path programDir, QWidget* parent)
    : QDialog(parent), m_adjuster(link, ledTable, std::move(programDir)) {
    setObjectName("AdjusterDialog");
    setWindowTitle(qs(text::kTitle));
    setModal(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(qs(text::kStoredHeading), this), 0, 1);
    grid->addWidget(new QLabel(qs(text::kNewHeading), this), 0, 2);
    for (std::size_t r = 0; r < kAdjusterRows; ++r) {
        const int row = static_cast<int>(r) + 1;
        auto* label = new QLabel(qs(kRows[r].label), this);
        m_stored[r] = storedList(kRows[r].name, this);
        grid->addWidget(label, row, 0);
        grid->addWidget(m_stored[r], row, 1);
        if (r < kAdjusterEditableRows) {
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QStringLiteral("New") + QLatin1String(kRows[r].name));
            edit->setMaxLength(5);
            edit->setFixedWidth(m_stored[r]->width());
            label->setBuddy(edit);
            m_new[r] = edit;
            grid->addWidget(edit, row, 2);
        }
    }
    QPushButton* saveUpper = button(text::kSave, "SaveUpperButton", this);
    QPushButton* standardUpper = button(text::kStandard, "StandardUpperButton", this);
    QPushButton* saveHeater = button(text::kSave, "SaveHeaterButton", this);
    QPushButton* standardHeater = button(text::kStandard, "StandardHeaterButton", this);
    // The printer's defaults are not known to this program: the buttons stay, but do nothing.
    standardUpper->setEnabled(false);
    standardHeater->setEnabled(false);
    const int afterVoltage = static_cast<int>(AdjusterRow::Voltage) + 1;
    const int afterOffset = static_cast<int>(AdjusterRow::PageOffset) + 1;
    grid->addWidget(saveUpper, afterVoltage - 1, 3);
    grid->addWidget(standardUpper, afterVoltage, 3);
    grid->addWidget(saveHeater, afterOffset - 1, 3);
    grid->addWidget(standardHeater, afterOffset, 3);
    grid->setColumnStretch(4, 1);

    m_ledGroup = new QGroupBox(qs(text::kLedGroup), this);
    m_ledGroup->setObjectName("LedGroup");
    auto* ledBox = new QVBoxLayout(m_ledGroup);
    auto* ledRow = new QHBoxLayout;
    for (std::string_view name : kLedHeadOrder) {
        auto* box = new QCheckBox(qs(name), m_ledGroup);
        box->setObjectName(QStringLiteral("Led") + qs(name));
        m_leds[ledBit(name)] = box;
        ledRow->addWidget(box);
    }
    ledBox->addLayout(ledRow);
    QPushButton* saveLeds = button(text::kSave, "SaveLedButton", m_ledGroup);
    ledBox->addWidget(saveLeds, 0, Qt::AlignRight);

    auto* ok = new QPushButton(qs(text::kOk), this);
    ok->setObjectName("OkButton");
    ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_ledGroup);
    layout->addWidget(ok, 0, Qt::AlignRight);

    // Tab order: the new values top to bottom with their save buttons, the LEDs
    // along the head, then OK.
    QWidget* previous = m_new[0];
    auto chain = [&previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    for (std::size_t r = 1; r < kAdjusterEditableRows; ++r) {
        chain(m_new[r]);
        if (r == static_cast<std::size_t>(AdjusterRow::Voltage))
            chain(saveUpper);
    }
    chain(saveHeater);
    for (std::string_view name : kLedHeadOrder)
        chain(m_leds[ledBit(name)]);
    chain(saveLeds);
    chain(ok);

    connect(saveUpper, &QPushButton::clicked, this,
            [this] { focusRow(m_adjuster.saveUpperGroup(newTexts())); });
    connect(saveHeater, &QPushButton::clicked, this,
            [this] { focusRow(m_adjuster.saveHeaterAndOffset(newTexts())); });
    connect(saveLeds, &QPushButton::clicked, this, [this] {
        LedSelection selection{};
        for (std::size_t bit = 0; bit < kLedCount; ++bit)
            selection[bit] = m_leds[bit]->isChecked();
        m_adjuster.saveLedSelection(selection);
    });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Masks that could not be read must not be written back as "all off".
    const std::optional<LedSelection> leds = m_adjuster.readLedSelection();
    if (leds) {
        for (std::size_t bit = 0; bit < kLedCount; ++bit)
            m_leds[bit]->setChecked((*leds)[bit]);
    }
    m_ledGroup->setEnabled(leds.has_value());
    showReading(m_adjuster.readValues());
    m_new[0]->setFocus();
}

AdjusterNewTexts AdjusterDialog::newTexts() const {
    AdjusterNewTexts texts;
    for (std::size_t r = 0; r < kAdjusterEditableRows; ++r)
        texts[r] = m_new[r]->text().toStdString();
    return texts;
}

void AdjusterDialog::showReading(const AdjusterReading& reading) {
    for (std::size_t r = 0; r < kAdjusterRows; ++r) {
        const std::string value = storedText(reading, static_cast<AdjusterRow>(r));
        m_stored[r]->clear();
        if (value.empty())
            continue;
        m_stored[r]->addItem(QString::fromStdString(value));
        if (r < kAdjusterEditableRows)
            m_new[r]->setText(QString::fromStdString(value));
    }
}

void AdjusterDialog::focusRow(const AdjusterSaveOutcome& outcome) {
    if (!outcome.badRow)
        return;
    QLineEdit* edit = m_new[static_cast<std::size_t>(*outcome.badRow)];
    edit->setFocus();
    edit->selectAll();
}

} // namespace kv::jobs
