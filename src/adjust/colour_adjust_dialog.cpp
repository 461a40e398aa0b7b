#include "adjust/colour_adjust_dialog.h"
#include "platform/images_qt.h"
#include "platform/qt_text.h"

#include "adjust/colour_adjust_picture.h"
#include "adjust/colour_adjust_texts.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>
#include <utility>

namespace kv::adjust {

namespace {

using platform::qs;
using Icon = platform::Ui::Icon;

// Object names and end labels of the five controls, in Control order.
struct ControlText {
    const char* name;
    std::string_view left;
    std::string_view right;
};
constexpr std::array<ControlText, 5> kControlTexts{{
    {"CyanRed", "C", "R"},
    {"MagentaGreen", "M", "G"},
    {"YellowBlue", "Y", "B"},
    {"Brightness", colour_text::kBrightness, ""},
    {"Contrast", colour_text::kContrast, ""},
}};

// The preview frame: a raised border 5 units inside, the preview at its own size,
// centred when it is smaller than the frame.
class PreviewFrame : public QFrame {
  public:
    PreviewFrame(const QImage& image, QWidget* parent) : QFrame(parent), m_image(image) {
        setObjectName("PreviewFrame");
        setFrameStyle(QFrame::Box | QFrame::Sunken);
        setMinimumSize(130, 130);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        QPainter p(this);
        const QRect r = rect().adjusted(5, 5, -6, -6);
        constexpr int cut = 3;
        p.setPen(Qt::white);
        p.drawPolyline(QPolygon{QPoint(r.left(), r.bottom() - cut), QPoint(r.left(), r.top() + cut),
                                QPoint(r.left() + cut, r.top()), QPoint(r.right() - cut, r.top())});
        p.setPen(Qt::black);
        p.drawPolyline(
            QPolygon{QPoint(r.right(), r.top() + cut), QPoint(r.right(), r.bottom() - cut),
                     QPoint(r.right() - cut, r.bottom()), QPoint(r.left() + cut, r.bottom())});
        if (m_image.isNull())
            return;
        const int x = m_image.width() < width() ? (width() - m_image.width()) / 2 : 0;
        const int y = m_image.height() < height() ? (height() - m_image.height()) / 2 : 0;
        p.drawImage(x, y, m_image);
    }

  private:
    const QImage& m_image;
};

QToolButton* arrow(Qt::ArrowType type, const QString& name, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setArrowType(type);
    b->setAutoRepeat(true);
    // The edit takes the arrow keys instead, so Tab moves between edits and sliders.
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(16, 11);
    return b;
}

} // namespace

ColourAdjustDialog::ColourAdjustDialog(shell::AppState& state, platform::Ui& ui,
                                       std::filesystem::path dataFile,
                                       std::filesystem::path tempDir, std::function<void()> saveAs,
                                       QWidget* parent)
    : QDialog(parent), m_state(state), m_ui(ui), m_tempDir(std::move(tempDir)),
      m_saveAs(std::move(saveAs)) {
    setObjectName("ColourAdjustDialog");
    setWindowTitle(qs(colour_text::kTitle));
    setModal(true);

    m_thumbnail = readColourThumbnail(dataFile, m_state.albums.selectedPicture());
    if (m_thumbnail) {
        m_mean = thumbnailMean(m_thumbnail->pixels);
        m_preview = platform::toQImage(*m_thumbnail);
    }
    m_previewFrame = new PreviewFrame(m_preview, this);

    auto* grid = new QGridLayout;
    for (int c = 0; c < kControls; ++c) {
        const ControlText& text = kControlTexts[std::size_t(c)];
        const QString name = QString::fromLatin1(text.name);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName("Slider" + name);
        slider->setRange(kColourValueMin, kColourValueMax);
        slider->setValue(0);
        slider->setPageStep(10);
        slider->setMinimumWidth(200);
        auto* edit = new QLineEdit(QStringLiteral("0"), this);
        edit->setObjectName("Edit" + name);
        edit->setMaxLength(kColourEditMaxChars);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 12);
        edit->installEventFilter(this);
        auto* up = arrow(Qt::UpArrow, "SpinUp" + name, this);
        auto* down = arrow(Qt::DownArrow, "SpinDown" + name, this);
        auto* spinBox = new QVBoxLayout;
        spinBox->setSpacing(0);
        spinBox->addWidget(up);
        spinBox->addWidget(down);

        auto* left = new QLabel(qs(text.left), this);
        left->setBuddy(edit);
        grid->addWidget(left, c, 0, Qt::AlignRight);
        grid->addWidget(slider, c, 1);
        grid->addWidget(new QLabel(qs(text.right), this), c, 2);
        grid->addWidget(edit, c, 3);
        grid->addLayout(spinBox, c, 4);
        m_sliders[std::size_t(c)] = slider;
        m_edits[std::size_t(c)] = edit;

        connect(slider, &QSlider::valueChanged, this, [edit](int value) {
            // The edit follows the slider; its change brings the preview along.
            const EditReading now = readColourEdit(edit->text().toStdString());
            if (now.meaning != EditMeaning::Value || now.value != value)
                edit->setText(QString::number(value));
        });
        connect(edit, &QLineEdit::textChanged, this, [this, c] { editChanged(c); });
        connect(up, &QToolButton::clicked, this, [this, c] { spin(c, 1); });
        connect(down, &QToolButton::clicked, this, [this, c] { spin(c, -1); });
    }

    auto* saveButton = new QPushButton(qs(colour_text::kSave), this);
    saveButton->setObjectName("SaveButton");
    auto* applyButton = new QPushButton(qs(colour_text::kApply), this);
    applyButton->setObjectName("ApplyButton");
    auto* cancelButton = new QPushButton(qs(colour_text::kCancel), this);
    cancelButton->setObjectName("CancelButton");
    saveButton->setAutoDefault(false);
    applyButton->setAutoDefault(false);
    cancelButton->setDefault(true);
    connect(saveButton, &QPushButton::clicked, this, &ColourAdjustDialog::save);
    connect(applyButton, &QPushButton::clicked, this, &ColourAdjustDialog::apply);
    connect(cancelButton, &QPushButton::clicked, this, &ColourAdjustDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(saveButton);
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();

    auto* top = new QHBoxLayout(this);
    top->addWidget(m_previewFrame);
    top->addLayout(grid, 1);
    top->addLayout(buttons);

    // Row by row, slider then edit, then the buttons.
    QWidget* previous = nullptr;
    for (int c = 0; c < kControls; ++c) {
        for (QWidget* w : {static_cast<QWidget*>(m_sliders[std::size_t(c)]),
                           static_cast<QWidget*>(m_edits[std::size_t(c)])}) {
            if (previous)
                setTabOrder(previous, w);
            previous = w;
        }
    }
    for (QWidget* w : {static_cast<QWidget*>(saveButton), static_cast<QWidget*>(applyButton),
                       static_cast<QWidget*>(cancelButton)}) {
        setTabOrder(previous, w);
        previous = w;
    }
    m_sliders[0]->setFocus();
}

int& ColourAdjustDialog::valueOf(int control) {
    switch (control) {
    case kCyanRed:
        return m_values.cyanRed;
    case kMagentaGreen:
        return m_values.magentaGreen;
    case kYellowBlue:
        return m_values.yellowBlue;
    case kBrightness:
        return m_values.brightness;
    default:
        return m_values.contrast;
    }
}

void ColourAdjustDialog::editChanged(int control) {
    const EditReading reading = readColourEdit(m_edits[std::size_t(control)]->text().toStdString());
    if (reading.meaning == EditMeaning::Typing)
        return;
    if (reading.meaning == EditMeaning::OutOfRange) {
        // The last good value stays in force, on the slider and in the preview.
        m_ui.message(colour_text::kOutOfRange, Icon::None);
        return;
    }
    valueOf(control) = reading.value;
    m_sliders[std::size_t(control)]->setValue(reading.value);
    if (m_thumbnail)
        rebuildPreview();
}

void ColourAdjustDialog::spin(int control, int step) {
    m_edits[std::size_t(control)]->setText(
        QString::number(spinColourValue(valueOf(control), step)));
}

void ColourAdjustDialog::rebuildPreview() {
    platform::Bitmap24 preview = *m_thumbnail;
    adjustBitmap(preview, makeColourTables(m_values, m_mean));
    m_preview = platform::toQImage(preview);
    m_previewFrame->update();
}

bool ColourAdjustDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        for (int c = 0; c < kControls; ++c) {
            if (watched == m_edits[std::size_t(c)] && (key == Qt::Key_Up || key == Qt::Key_Down)) {
                spin(c, key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ColourAdjustDialog::apply() {
    if (applyColourAdjustment(m_state, m_ui, m_values, m_mean, m_tempDir) == ApplyResult::Applied)
        accept();
}

void ColourAdjustDialog::save() {
    if (saveColourAdjustment(m_state, m_ui, m_values, m_mean, m_tempDir, m_saveAs))
        accept();
}

void ColourAdjustDialog::reject() {
    m_state.colourDialogSaving = false;
    QDialog::reject();
}

} // namespace kv::adjust
