#include "adjust/quality_dialog_model.h"

#include "adjust/quality_dialog_texts.h"
#include "platform/ascii.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <utility>

namespace kv::adjust {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

namespace {

constexpr std::string_view kKeyMatchFile = "MatchFile";
constexpr std::string_view kTableExtension = ".cct";
// Hand-typed tone points may lie anywhere in the int range; the frame must not.
constexpr std::int64_t kCoordinateLimit = 1'000'000;

// base + sign * extent * value / 255, cut toward zero, computed exactly.
int cutCoordinate(int base, int sign, int extent, int value) {
    const std::int64_t numerator =
        std::int64_t(base) * 255 + std::int64_t(sign) * std::int64_t(extent) * value;
    return static_cast<int>(std::clamp(numerator / 255, -kCoordinateLimit, kCoordinateLimit));
}

bool onlyBlanks(std::string_view rest) {
    return std::all_of(rest.begin(), rest.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           platform::equalsNoCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

ToneCurveLine toneCurveLine(const platform::Rect& frame, int toneMode, const TonePoints& stored) {
    const int left = frame.left + 5, top = frame.top + 5;
    const int right = frame.right - 5, bottom = frame.bottom - 5;
    const int w = right - left, h = bottom - top;
    CurvePoint p1{left, bottom}, p2{right, top};
    if (toneMode == kToneFixed) {
        p1.x = cutCoordinate(left, 1, w, 25);
        p2.x = cutCoordinate(right, -1, w, 25);
    } else if (toneMode == kToneManual) {
        p1 = {cutCoordinate(left, 1, w, stored.left), cutCoordinate(bottom, -1, h, stored.bottom)};
        p2 = {cutCoordinate(left, 1, w, stored.right), cutCoordinate(bottom, -1, h, stored.top)};
    }
    return {CurvePoint{left, bottom}, p1, p2, CurvePoint{right, top}};
}

int colorControlFor(ColourSwitches switches) {
    if (switches.compensation)
        return switches.correction ? 1 : 2;
    return switches.correction ? 3 : 4;
}

ColourSwitches colourSwitchesFor(int colorControl) {
    PictureAdjustSettings s;
    s.colorControl = colorControl;
    return {s.hueSectorOn(), !s.plainExposure()};
}

std::optional<float> edgeRatioPreset(int edgeMode) {
    switch (edgeMode) {
    case kEdgeSoft:
        return kEdgeRatioSoft;
    case kEdgeNormal:
        return kEdgeRatioNormal;
    case kEdgeSharp:
        return kEdgeRatioSharp;
    default:
        return std::nullopt;
    }
}

std::string floatEditText(float value) {
    return platform::formatC("%.6g", double(value));
}

MatchTableList matchTableList(const fs::path& programDir) {
    MatchTableList list;
    std::error_code ec;
    for (fs::directory_iterator it(programDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        std::string name = it->path().filename().string();
        if (name.size() >= kTableExtension.size() &&
            platform::equalsNoCase(
                std::string_view(name).substr(name.size() - kTableExtension.size()),
                kTableExtension))
            list.names.push_back(std::move(name));
    }
    std::sort(list.names.begin(), list.names.end(), platform::lessNoCase);

    // The raw key: the loaded settings drop a name whose file is missing.
    const platform::Profile profile(platform::findNoCase(programDir, std::string(kSettingsFile)));
    const std::string wanted = profile.readString(kImageSection, kKeyMatchFile, kDefaultMatchFile);
    const auto found =
        std::find_if(list.names.begin(), list.names.end(),
                     [&](const std::string& n) { return startsWithNoCase(n, wanted); });
    if (found != list.names.end())
        list.selected = static_cast<int>(found - list.names.begin());
    return list;
}

std::string matchFileFromText(std::string_view text) {
    if (text.size() <= kMaxMatchFileBytes)
        return std::string(text);
    std::size_t cut = kMaxMatchFileBytes;
    // Step back over the continuation bytes of a character the limit would split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(text.substr(0, cut));
}

QualityEditor::QualityEditor(PictureAdjustSettings& settings, QualityDialogKind kind,
                             fs::path programDir, fs::path systemDir, platform::Ui& ui)
    : m_settings(settings), m_savedCopy(settings), m_openedMatchFile(readMatchFile(programDir)),
      m_kind(kind), m_programDir(std::move(programDir)), m_systemDir(std::move(systemDir)),
      m_ui(ui) {
    switch (m_settings.contrast) {
    case kToneFixed:
        m_toneEdits = kFixedTonePoints;
        m_settings.tonePoints = m_toneEdits;
        break;
    case kToneManual:
        m_toneEdits = m_settings.storedTonePoints;
        m_settings.tonePoints = m_toneEdits;
        break;
    default:
        m_toneEdits = kIdentityTonePoints;
        break;
    }
}

void QualityEditor::chooseTone(int toneMode) {
    m_settings.contrast = toneMode;
    if (toneMode == kToneFixed) {
        m_toneEdits = kFixedTonePoints;
    } else if (toneMode == kToneManual) {
        // Unsaved manual values give way to the ones last saved.
        m_settings.storedTonePoints = loadPictureAdjustSettings(m_programDir).storedTonePoints;
        m_toneEdits = m_settings.storedTonePoints;
    } else {
        m_toneEdits = kIdentityTonePoints;
    }
}

std::optional<int> QualityEditor::readToneEdit(const std::string& text) {
    std::size_t consumed = 0;
    const std::optional<int> value = platform::parseInt(text, &consumed);
    const bool number = value && onlyBlanks(std::string_view(text).substr(consumed));
    if (m_kind == QualityDialogKind::ImageQuality) {
        if (!number)
            m_ui.message(quality::kMsgEnterInteger, Icon::Exclamation);
        return number ? value : std::nullopt;
    }
    if (!number || *value < 0 || *value > kMaxTonePoint) {
        m_ui.message(quality::kMsgToneRange, Icon::Exclamation);
        return std::nullopt;
    }
    return value;
}

std::optional<float> QualityEditor::readFloatEdit(const std::string& text) {
    std::size_t consumed = 0;
    const std::optional<double> value = platform::parseDouble(text, &consumed);
    // inf, nan and what overflows a float are no gain or ratio a picture can use.
    if (!value || !onlyBlanks(std::string_view(text).substr(consumed)) || !std::isfinite(*value) ||
        std::fabs(*value) > FLT_MAX)
        return std::nullopt;
    return static_cast<float>(*value);
}

std::optional<QualityField> QualityEditor::takeToneEdits(const std::array<std::string, 4>& texts) {
    if (!toneEditable())
        return std::nullopt;
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::optional<int> value = readToneEdit(texts[i]);
        if (!value)
            return static_cast<QualityField>(i);
        values[i] = *value;
    }
    m_toneEdits = {values[0], values[1], values[2], values[3]};
    m_settings.storedTonePoints = m_toneEdits;
    return std::nullopt;
}

std::optional<float> QualityEditor::chooseEdge(int edgeMode) {
    m_settings.edge = edgeMode;
    return edgeRatioPreset(edgeMode);
}

void QualityEditor::cancel() {
    m_settings = m_savedCopy;
    applyMatchFile(m_settings, m_programDir, m_openedMatchFile);
}

std::optional<QualityField> QualityEditor::accept(const QualityFields& fields) {
    m_saved = false;
    std::array<int, 4> tone{};
    for (std::size_t i = 0; i < tone.size(); ++i) {
        const std::optional<int> value = readToneEdit(fields.tone[i]);
        if (!value)
            return static_cast<QualityField>(i);
        tone[i] = *value;
    }
    // A greyed edit keeps the value it showed; it cannot be corrected, so it is
    // never refused.
    float gain = m_settings.satValue;
    if (const std::optional<float> v = readFloatEdit(fields.satValue))
        gain = *v;
    else if (satValueEditable()) {
        m_ui.message(quality::kMsgEnterNumber, Icon::Exclamation);
        return QualityField::SatValue;
    }
    float ratio = m_settings.edgeEnhanceR;
    if (const std::optional<float> v = readFloatEdit(fields.edgeRatio))
        ratio = *v;
    else if (edgeRatioEditable()) {
        m_ui.message(quality::kMsgEnterNumber, Icon::Exclamation);
        return QualityField::EdgeRatio;
    }

    m_toneEdits = {tone[0], tone[1], tone[2], tone[3]};
    m_settings.storedTonePoints = m_toneEdits;
    m_settings.tonePoints = m_toneEdits;
    m_settings.satValue = gain;
    m_settings.edgeEnhanceR = ratio;
    m_settings.matchFile = matchFileFromText(fields.matchFile);
    platform::Ui::WaitCursor wait(m_ui);
    m_saved = savePictureAdjustSettings(m_settings, m_programDir, m_systemDir, m_ui);
    return std::nullopt;
}

} // namespace kv::adjust
