#include "render/print_window.h"
#include "platform/images_qt.h"
#include "platform/paths.h"

#include "render/layout_composition.h"
#include "render/sheet_proof.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <string_view>

namespace kv::render {

namespace {

QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}

QImage toImage(const platform::Bitmap24& bitmap) {
    return platform::toQImage(bitmap).convertToFormat(QImage::Format_RGB32);
}

// How often the proof view looks for changes made where nobody tells it (a quality
// dialog edits the settings live).
constexpr int kProofLookMs = 250;

QImage proofPicture(const SheetProof& proof) {
    QImage image(SheetProof::kWidth, SheetProof::kHeight, QImage::Format_RGB888);
    for (int y = 0; y < SheetProof::kHeight; ++y)
        std::copy_n(proof.rgb.data() + std::size_t(y) * SheetProof::kWidth * 3,
                    SheetProof::kWidth * 3, image.scanLine(y));
    return image.convertToFormat(QImage::Format_RGB32);
}

// Grey diagonal hatching over the pixels no picture colour prints.
QImage hatched(const QImage& picture, const SheetProof& proof) {
    QImage image = picture;
    const QRgb grey = qRgb(128, 128, 128);
    for (int y = 0; y < SheetProof::kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < SheetProof::kWidth; ++x)
            if (proof.outOfReach[std::size_t(y) * SheetProof::kWidth + x] && (x + y) % 6 < 2)
                line[x] = grey;
    }
    return image;
}

} // namespace

PrintWindow::PrintWindow(shell::AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("PrintWindow"));
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);

    m_horizontal = new QScrollBar(Qt::Horizontal, this);
    m_vertical = new QScrollBar(Qt::Vertical, this);
    m_horizontal->setObjectName(QStringLiteral("PrintWindowHorizontalScrollBar"));
    m_vertical->setObjectName(QStringLiteral("PrintWindowVerticalScrollBar"));
    m_horizontal->setRange(0, kInitialHorizontalMax);
    m_vertical->setRange(0, kInitialVerticalMax);
    for (QScrollBar* bar : {m_horizontal, m_vertical}) {
        bar->setSingleStep(kScrollStep);
        // Shown only while a picture at its own size needs them.
        bar->hide();
        connect(bar, &QScrollBar::actionTriggered, this,
                [this, bar](int action) { stepScrollBar(bar, action); });
        connect(bar, &QScrollBar::valueChanged, this, &PrintWindow::scrollContent);
    }
    // One proof at a time: the sheet file is rewritten only while none is read.
    m_proofPool.setMaxThreadCount(1);
    m_proofLook.setInterval(kProofLookMs);
    connect(&m_proofLook, &QTimer::timeout, this, &PrintWindow::refreshProof);
}

PrintWindow::~PrintWindow() {
    // The worker reports back to this window: it must be done before the window goes.
    m_proofPool.waitForDone();
}

void PrintWindow::paintEvent(QPaintEvent* /*event*/) {
    m_painting = true;
    QPainter painter(this);
    shell::AppState& state = m_state;
    const bool oneUp = state.layout == shell::Layout::OneUp;
    bool nothing =
        state.albums.pictureCount == 0 || (oneUp && state.albums.selectedPicture() == -1);
    if (!nothing && oneUp && state.albums.albumJustChanged) {
        // The first paint after an album switch stays empty; the next one draws.
        state.albums.albumJustChanged = false;
        nothing = true;
    }
    if (nothing || (oneUp && !state.displayedPicture)) {
        placeScrollBars({});
    } else if (state.proofView && m_proofInputs) {
        paintProof(painter);
    } else if (oneUp) {
        paintOneUp(painter, *state.displayedPicture, state.displayedPicture.version());
    } else {
        paintSheet(painter);
    }
    m_painting = false;
}

void PrintWindow::paintOneUp(QPainter& painter, const platform::Bitmap24& bitmap,
                             std::uint64_t version) {
    const QImage& image = pictureImage(bitmap, version);
    const int w = bitmap.width;
    const int h = bitmap.height;
    if (!m_state.fitToWindow && !m_state.previewMode) {
        const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        placeScrollBars(ownSizeScroll(w, h, width(), height(), extent));
        if (image.isNull())
            return;
        painter.setClipRect(m_scrollArea);
        painter.drawImage(QPoint(-m_horizontal->value(), -m_vertical->value()), image);
        return;
    }
    placeScrollBars({});
    if (image.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_state.previewMode) {
        painter.drawImage(toQRect(fittedPlacement(w, h, width(), height())), image);
        return;
    }
    const PreviewPlacement preview = picturePreview(w, h, width(), height());
    painter.fillRect(toQRect(preview.paper), Qt::white);
    painter.drawImage(toQRect(preview.picture), image);
}

void PrintWindow::paintSheet(QPainter& painter) {
    placeScrollBars({});
    if (m_state.previewMode)
        painter.fillRect(toQRect(sheetPreview(width(), height()).paper), Qt::white);
    // The sheet changes in place with every drop, so it is converted at each paint.
    const QImage image = toImage(m_state.sheet);
    if (image.isNull())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(toQRect(drawnSheet()), image);
}

void PrintWindow::paintProof(QPainter& painter) {
    placeScrollBars({});
    // The printed sheet, whole: the proof is always 640 x 480.
    if (m_state.previewMode)
        painter.fillRect(toQRect(sheetPreview(width(), height()).paper), Qt::white);
    const QImage& image = m_state.markUnprintable ? m_proofMarked : m_proof;
    if (!image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const Rect place = m_state.previewMode
                               ? sheetPreview(width(), height()).picture
                               : sheetPlacement(kSheetWidth, kSheetHeight, width(), height());
        painter.drawImage(toQRect(place), image);
    }
    // Not from inside the paint: a new sheet file may take a moment to write.
    QTimer::singleShot(0, this, &PrintWindow::refreshProof);
}

void PrintWindow::setProofSource(std::function<ProofInputs()> inputs,
                                 std::filesystem::path tempDir) {
    m_proofInputs = std::move(inputs);
    m_proofFolder = tempDir / "proof";
    m_tempDir = std::move(tempDir);
}

void PrintWindow::proofOptionsChanged() {
    if (m_state.proofView && m_proofInputs) {
        m_proofLook.start();
        refreshProof();
    } else {
        m_proofLook.stop();
    }
    update();
}

std::string PrintWindow::sheetKey() const {
    std::string key(1, static_cast<char>(m_state.layout));
    if (m_state.layout == shell::Layout::OneUp) {
        // The picture a 1-in-1 job prints: the loaded one, or the colour dialog's copy.
        const std::uint64_t version = m_state.displayedPicture.version();
        const int loaded = m_state.albums.loadedPicture();
        key.append(reinterpret_cast<const char*>(&version), sizeof version);
        key.append(reinterpret_cast<const char*>(&loaded), sizeof loaded);
        key += m_state.shownIsCurrent() ? 'c' : '-';
        if (m_state.adjustedPicturePresent) {
            // "Anwenden" rewrites the adjusted copy in place.
            std::error_code ec;
            const std::filesystem::path copy =
                platform::findNoCase(m_tempDir, std::string(kAdjustedFileName));
            key += 'a' + std::to_string(std::filesystem::file_size(copy, ec)) + ':' +
                   std::to_string(
                       std::filesystem::last_write_time(copy, ec).time_since_epoch().count());
        }
        return key;
    }
    // A sheet changes in place with every drop: its bytes are its identity.
    const std::vector<std::uint8_t>& pixels = m_state.sheet.pixels;
    key += std::to_string(std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(pixels.data()), pixels.size())));
    return key;
}

void PrintWindow::refreshProof() {
    if (!m_state.proofView || !m_proofInputs)
        return;
    if (m_proofRunning) {
        m_proofAgain = true;
        return;
    }
    m_proofAgain = false;
    const bool oneUp = m_state.layout == shell::Layout::OneUp;
    if (m_state.albums.pictureCount == 0 || (oneUp && !m_state.displayedPicture))
        return;
    ProofInputs inputs = m_proofInputs();
    const std::string key = sheetKey() + proofInputsKey(inputs);
    if (key == m_proofKey)
        return;
    m_proofKey = key;

    // The sheet file a job would load, written as the job writes it, on this thread:
    // it reads the application state.
    std::error_code ec;
    std::filesystem::create_directories(m_proofFolder, ec);
    if (oneUp && m_state.adjustedPicturePresent) {
        // A 1-in-1 job prints the colour dialog's copy, which it finds in its folder.
        std::filesystem::copy_file(platform::findNoCase(m_tempDir, std::string(kAdjustedFileName)),
                                   m_proofFolder / kAdjustedFileName,
                                   std::filesystem::copy_options::overwrite_existing, ec);
    }
    m_quietUi.clear();
    const std::optional<std::filesystem::path> sheetFile =
        prepareSheetFile(m_state, m_quietUi, m_proofFolder);
    if (!sheetFile) {
        m_proof = QImage();
        m_proofMarked = QImage();
        update();
        return;
    }
    m_proofRunning = true;
    m_proofPool.start([this, key, file = *sheetFile, inputs = std::move(inputs)] {
        QImage proof;
        QImage marked;
        if (const std::optional<SheetProof> sheet = proofOfSheetFile(file, inputs)) {
            proof = proofPicture(*sheet);
            marked = hatched(proof, *sheet);
        }
        QMetaObject::invokeMethod(
            this,
            [this, key, proof = std::move(proof), marked = std::move(marked)]() mutable {
                proofDone(key, std::move(proof), std::move(marked));
            },
            Qt::QueuedConnection);
    });
}

void PrintWindow::proofDone(const std::string& key, QImage proof, QImage marked) {
    m_proofRunning = false;
    if (key == m_proofKey) {
        m_proof = std::move(proof);
        m_proofMarked = std::move(marked);
        update();
    }
    if (m_proofAgain)
        refreshProof();
}

Rect PrintWindow::drawnSheet() const {
    if (m_state.previewMode)
        return sheetPreview(width(), height()).picture;
    return sheetPlacement(kSheetWidth, kSheetHeight, width(), height());
}

int PrintWindow::sheetCellAt(QPoint pos) const {
    switch (m_state.layout) {
    case shell::Layout::FourUp:
        return fourUpQuarterAt(pos.x(), pos.y(), width(), height());
    case shell::Layout::SixteenUp:
        return sixteenUpCellAt(drawnSheet(), pos.x(), pos.y());
    case shell::Layout::OneUp:
        break;
    }
    return -1;
}

void PrintWindow::placeScrollBars(const ScrollPlan& plan) {
    m_scrollArea = QRect(0, 0, plan.clientWidth, plan.clientHeight);
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    m_horizontal->setRange(0, plan.horizontalMax);
    m_vertical->setRange(0, plan.verticalMax);
    m_horizontal->setPageStep(std::max(1, plan.clientWidth));
    m_vertical->setPageStep(std::max(1, plan.clientHeight));
    m_horizontal->setGeometry(0, plan.clientHeight, plan.clientWidth, extent);
    m_vertical->setGeometry(plan.clientWidth, 0, extent, plan.clientHeight);
    m_horizontal->setVisible(plan.horizontalVisible);
    m_vertical->setVisible(plan.verticalVisible);
    m_shownX = m_horizontal->value();
    m_shownY = m_vertical->value();
}

void PrintWindow::stepScrollBar(QScrollBar* bar, int action) {
    ScrollRequest request;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        request = ScrollRequest::LineBack;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        request = ScrollRequest::LineForward;
        break;
    case QAbstractSlider::SliderPageStepSub:
        request = ScrollRequest::PageBack;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        request = ScrollRequest::PageForward;
        break;
    default:
        return; // thumb drags and the rest keep the bar's own handling
    }
    // The bar's value still holds the position before the request here.
    bar->setSliderPosition(scrolledPosition(bar->value(), bar->maximum(), request));
}

void PrintWindow::scrollContent() {
    const int x = m_horizontal->value();
    const int y = m_vertical->value();
    // Range changes while painting already draw at the new position.
    if (!m_painting && !m_scrollArea.isEmpty())
        scroll(m_shownX - x, m_shownY - y, m_scrollArea);
    m_shownX = x;
    m_shownY = y;
}

const QImage& PrintWindow::pictureImage(const platform::Bitmap24& bitmap, std::uint64_t version) {
    // A new picture may reuse the old buffer's address and size: only the
    // version tells them apart.
    if (version == 0 || version != m_pictureVersion) {
        m_picture = toImage(bitmap);
        m_pictureVersion = version;
    }
    return m_picture;
}

} // namespace kv::render
