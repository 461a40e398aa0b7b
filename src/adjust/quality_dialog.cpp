#include "adjust/quality_dialog.h"

#include "adjust/quality_dialog_texts.h"
#include "platform/qt_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace kv::adjust {

using platform::qs;

// The frame the tone curve is drawn in; the line comes from the editor.
class ToneCurveFrame : public QFrame {
  public:
    ToneCurveFrame(std::function<ToneCurveLine(const platform::Rect&)> line, QWidget* parent)
        : QFrame(parent), m_line(std::move(line)) {
        setObjectName(QStringLiteral("ToneCurveFrame"));
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setFixedSize(140, 140);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        const ToneCurveLine line = m_line({0, 0, width(), height()});
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
        for (std::size_t i = 1; i < line.size(); ++i)
            painter.drawLine(line[i - 1].x, line[i - 1].y, line[i].x, line[i].y);
    }

  private:
    std::function<ToneCurveLine(const platform::Rect&)> m_line;
};

namespace {

QRadioButton* radio(std::string_view text, const char* name, QWidget* parent) {
    auto* r = new QRadioButton(qs(text), parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}

QLineEdit* edit(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("-0000.0000")) + 12);
    return e;
}

QString toneText(int value) {
    return QString::number(value);
}

} // namespace

QualityDialog::QualityDialog(PictureAdjustSettings& settings, QualityDialogKind kind,
                             std::filesystem::path programDir, std::filesystem::path systemDir,
                             platform::Ui& ui, QWidget* parent)
    : QDialog(parent), m_editor(settings, kind, std::move(programDir), std::move(systemDir), ui) {
    const bool image = kind == QualityDialogKind::ImageQuality;
    setObjectName(image ? QStringLiteral("ImageQualityDialog")
                        : QStringLiteral("PrintQualityDialog"));
    setWindowTitle(qs(image ? quality::kImageQualityTitle : quality::kPrintQualityTitle));
    setModal(true);

    // Widgets are made in tab order: each group's radio buttons, then its edits.
    auto* toneGroup = new QGroupBox(qs(quality::kToneGroup), this);
    m_tone = {radio(quality::kNo, "ToneNone", toneGroup),
              radio(quality::kToneFixed, "ToneFixed", toneGroup),
              radio(quality::kManual, "ToneManual", toneGroup)};
    m_toneEdits = {edit("ToneLeftEdit", toneGroup), edit("ToneBottomEdit", toneGroup),
                   edit("ToneRightEdit", toneGroup), edit("ToneTopEdit", toneGroup)};
    m_curve = new ToneCurveFrame([this](const platform::Rect& r) { return m_editor.curve(r); },
                                 toneGroup);
    auto* toneRadios = new QVBoxLayout;
    for (QRadioButton* r : m_tone)
        toneRadios->addWidget(r);
    toneRadios->addStretch();
    // Left and bottom of the first knee below and left of the frame, right and
    // top of the second above and right of it.
    auto* curveGrid = new QGridLayout;
    curveGrid->addWidget(m_toneEdits[2], 0, 1, Qt::AlignHCenter);
    curveGrid->addWidget(m_toneEdits[1], 1, 0, Qt::AlignVCenter);
    curveGrid->addWidget(m_curve, 1, 1);
    curveGrid->addWidget(m_toneEdits[3], 1, 2, Qt::AlignVCenter);
    curveGrid->addWidget(m_toneEdits[0], 2, 1, Qt::AlignHCenter);
    auto* toneBox = new QHBoxLayout(toneGroup);
    toneBox->addLayout(toneRadios);
    toneBox->addLayout(curveGrid);

    auto* satGroup = new QGroupBox(qs(quality::kSaturationGroup), this);
    m_saturation = {radio(quality::kNo, "SaturationNone", satGroup),
                    radio(quality::kManual, "SaturationManual", satGroup)};
    m_satValue = edit("SatValueEdit", satGroup);
    auto* satBox = new QHBoxLayout(satGroup);
    satBox->addWidget(m_saturation[0]);
    satBox->addWidget(m_saturation[1]);
    satBox->addWidget(m_satValue);
    satBox->addStretch();

    auto* edgeGroup =
        new QGroupBox(qs(image ? quality::kEdgeGroupImage : quality::kEdgeGroupPrint), this);
    m_edge = {radio(quality::kNo, "EdgeNone", edgeGroup),
              radio(quality::kEdgeSoft, "EdgeSoft", edgeGroup),
              radio(quality::kEdgeNormal, "EdgeNormal", edgeGroup),
              radio(quality::kEdgeSharp, "EdgeSharp", edgeGroup),
              radio(quality::kManual, "EdgeManual", edgeGroup)};
    auto* ratioLabel = new QLabel(qs(quality::kEdgeRatio), edgeGroup);
    m_edgeRatio = edit("EdgeRatioEdit", edgeGroup);
    ratioLabel->setBuddy(m_edgeRatio);
    auto* edgeBox = new QGridLayout(edgeGroup);
    for (int i = 0; i < int(m_edge.size()); ++i)
        edgeBox->addWidget(m_edge[std::size_t(i)], 0, i);
    edgeBox->addWidget(ratioLabel, 1, 3, Qt::AlignRight);
    edgeBox->addWidget(m_edgeRatio, 1, 4);

    auto* matchGroup = new QGroupBox(qs(quality::kMatchGroup), this);
    auto* matchLabel = new QLabel(qs(quality::kMatchName), matchGroup);
    m_matchFile = new QComboBox(matchGroup);
    m_matchFile->setObjectName(QStringLiteral("MatchFileCombo"));
    m_matchFile->setEditable(true);
    m_matchFile->setInsertPolicy(QComboBox::NoInsert);
    m_matchFile->lineEdit()->setMaxLength(static_cast<int>(kMaxMatchFileBytes));
    m_matchFile->setMinimumContentsLength(24);
    matchLabel->setBuddy(m_matchFile);
    auto* matchBox = new QHBoxLayout(matchGroup);
    matchBox->addWidget(matchLabel);
    matchBox->addWidget(m_matchFile, 1);

    m_camera = new QCheckBox(qs(image ? quality::kCameraImage : quality::kCameraPrint), this);
    m_camera->setObjectName(QStringLiteral("DigitalCameraBox"));

    QGroupBox* colourGroup = nullptr;
    if (image) {
        colourGroup = new QGroupBox(qs(quality::kColourGroup), this);
        m_compensation = new QCheckBox(qs(quality::kCompensation), colourGroup);
        m_compensation->setObjectName(QStringLiteral("CompensationBox"));
        m_correction = new QCheckBox(qs(quality::kCorrection), colourGroup);
        m_correction->setObjectName(QStringLiteral("CorrectionBox"));
        auto* colourBox = new QHBoxLayout(colourGroup);
        colourBox->addWidget(m_compensation);
        colourBox->addWidget(m_correction);
        colourBox->addStretch();
    }

    m_ok = new QPushButton(qs(quality::kOk), this);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    m_ok->setAutoDefault(false);
    m_cancel = new QPushButton(qs(quality::kCancel), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_cancel->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(toneGroup);
    layout->addWidget(satGroup);
    layout->addWidget(edgeGroup);
    layout->addWidget(matchGroup);
    layout->addWidget(m_camera);
    if (colourGroup)
        layout->addWidget(colourGroup);
    layout->addLayout(buttons);

    // The edits around the curve read left, bottom, right, top, as they are stored.
    setTabOrder(m_tone[2], m_toneEdits[0]);
    for (std::size_t i = 1; i < m_toneEdits.size(); ++i)
        setTabOrder(m_toneEdits[i - 1], m_toneEdits[i]);
    setTabOrder(m_toneEdits[3], m_saturation[0]);

    // Opening: every control shows the record as it is.
    const PictureAdjustSettings& s = m_editor.settings();
    const MatchTableList tables = matchTableList(m_editor.programDir());
    for (const std::string& name : tables.names)
        m_matchFile->addItem(QString::fromStdString(name));
    m_matchFile->setCurrentIndex(tables.selected);
    m_matchFile->setEditText(QString::fromStdString(s.matchFile));
    if (s.contrast >= kToneNone && s.contrast <= kToneManual)
        m_tone[std::size_t(s.contrast)]->setChecked(true);
    if (s.saturation == kSaturationNone || s.saturation == kSaturationManual)
        m_saturation[std::size_t(s.saturation)]->setChecked(true);
    m_satValue->setText(QString::fromStdString(floatEditText(s.satValue)));
    if (s.edge >= kEdgeNone && s.edge <= kEdgeManual)
        m_edge[std::size_t(s.edge)]->setChecked(true);
    m_edgeRatio->setText(QString::fromStdString(floatEditText(s.edgeEnhanceR)));
    m_camera->setChecked(s.digitalCamera == 1);
    if (image) {
        const ColourSwitches switches = m_editor.colourSwitches();
        m_compensation->setChecked(switches.compensation);
        m_correction->setChecked(switches.correction);
    }
    showTone();
    showEnabled();

    for (std::size_t i = 0; i < m_tone.size(); ++i)
        connect(m_tone[i], &QRadioButton::clicked, this, [this, i] { chooseTone(int(i)); });
    for (std::size_t i = 0; i < m_saturation.size(); ++i)
        connect(m_saturation[i], &QRadioButton::clicked, this, [this, i] {
            m_editor.chooseSaturation(int(i));
            showEnabled();
        });
    for (std::size_t i = 0; i < m_edge.size(); ++i)
        connect(m_edge[i], &QRadioButton::clicked, this, [this, i] { chooseEdge(int(i)); });
    connect(m_camera, &QCheckBox::clicked, this, [this] {
        m_editor.toggleCamera();
        m_camera->setChecked(m_editor.settings().digitalCamera == 1);
    });
    if (image)
        for (QCheckBox* box : {m_compensation, m_correction})
            connect(box, &QCheckBox::clicked, this, [this] {
                m_editor.setColourSwitches(
                    {m_compensation->isChecked(), m_correction->isChecked()});
            });
    for (QLineEdit* e : m_toneEdits)
        e->installEventFilter(this);
    connect(m_ok, &QPushButton::clicked, this, &QualityDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QualityDialog::reject);
}

QualityDialog::~QualityDialog() {
    // Torn down while open (the program ends): the record goes back as well.
    if (!m_closed)
        m_editor.cancel();
}

void QualityDialog::showTone() {
    const TonePoints& points = m_editor.toneEdits();
    const std::array<int, 4> values = {points.left, points.bottom, points.right, points.top};
    for (std::size_t i = 0; i < values.size(); ++i)
        m_toneEdits[i]->setText(toneText(values[i]));
    m_curve->update();
}

void QualityDialog::showEnabled() {
    for (QLineEdit* e : m_toneEdits)
        e->setEnabled(m_editor.toneEditable());
    m_satValue->setEnabled(m_editor.satValueEditable());
    m_edgeRatio->setEnabled(m_editor.edgeRatioEditable());
}

void QualityDialog::chooseTone(int mode) {
    m_editor.chooseTone(mode);
    showTone();
    showEnabled();
}

void QualityDialog::chooseEdge(int mode) {
    if (const std::optional<float> preset = m_editor.chooseEdge(mode))
        m_edgeRatio->setText(QString::fromStdString(floatEditText(*preset)));
    showEnabled();
}

bool QualityDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !m_refocusing) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        const QWidget* next = QApplication::focusWidget();
        // A message box or another window took the focus, or a button that
        // checks (OK) or drops (Abbrechen) the values anyway was pressed.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            next != m_ok && next != m_cancel)
            takeToneEdits();
    }
    return QDialog::eventFilter(watched, event);
}

void QualityDialog::takeToneEdits() {
    std::array<std::string, 4> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = m_toneEdits[i]->text().toStdString();
    if (const std::optional<QualityField> refused = m_editor.takeToneEdits(texts)) {
        focusField(*refused);
        return;
    }
    if (m_editor.toneEditable())
        showTone();
}

void QualityDialog::focusField(QualityField field) {
    QLineEdit* target = nullptr;
    switch (field) {
    case QualityField::ToneLeft:
    case QualityField::ToneBottom:
    case QualityField::ToneRight:
    case QualityField::ToneTop:
        target = m_toneEdits[static_cast<std::size_t>(field)];
        break;
    case QualityField::SatValue:
        target = m_satValue;
        break;
    case QualityField::EdgeRatio:
        target = m_edgeRatio;
        break;
    }
    // Not from inside the focus change that found the value: once it is done.
    m_refocusing = true;
    QTimer::singleShot(0, this, [this, edit = QPointer<QLineEdit>(target)] {
        if (edit) {
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
        }
        m_refocusing = false;
    });
}

void QualityDialog::accept() {
    QualityFields fields;
    for (std::size_t i = 0; i < fields.tone.size(); ++i)
        fields.tone[i] = m_toneEdits[i]->text().toStdString();
    fields.satValue = m_satValue->text().toStdString();
    fields.edgeRatio = m_edgeRatio->text().toStdString();
    fields.matchFile = m_matchFile->currentText().toStdString();
    if (const std::optional<QualityField> refused = m_editor.accept(fields)) {
        focusField(*refused);
        return;
    }
    if (!m_editor.saved())
        return; // told; the user may try again or drop the changes
    m_closed = true;
    m_curve->update();
    QDialog::accept();
}

void QualityDialog::reject() {
    m_editor.cancel();
    m_closed = true;
    QDialog::reject();
}

} // namespace kv::adjust
