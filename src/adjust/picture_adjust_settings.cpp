#include "adjust/picture_adjust_settings.h"

#include "adjust/adjust_messages.h"
#include "platform/atomic_file.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <system_error>
#include <utility>
#include <vector>

namespace kv::adjust {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kKeyMatchFile = "MatchFile";
constexpr std::string_view kKeyContrast = "Contrast";
constexpr std::string_view kKeySaturation = "Saturation";
constexpr std::string_view kKeyColorControl = "ColorControl";
constexpr std::string_view kKeyEdge = "Edge";
constexpr std::string_view kKeyDigitalCamera = "DigitalCamera";
constexpr std::string_view kKeySatValue = "SatValue";
constexpr std::string_view kKeyEdgeEnhanceR = "EdgeEnhanceR";
constexpr std::string_view kKeyLeft = "ContrastLeft";
constexpr std::string_view kKeyBottom = "ContrastBottom";
constexpr std::string_view kKeyRight = "ContrastRight";
constexpr std::string_view kKeyTop = "ContrastTop";

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

// A float key is kept as text; it converts as far as it reads, else 0.
float readFloat(const platform::Profile& profile, std::string_view key,
                std::string_view defaultText) {
    const std::string text = profile.readString(kImageSection, key, defaultText);
    return static_cast<float>(platform::parseDouble(text).value_or(0.0));
}

} // namespace

fs::path matchPathFor(const fs::path& programDir, std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("/\\") != std::string_view::npos)
        return {};
    return platform::findNoCase(programDir, std::string(name));
}

void applyMatchFile(PictureAdjustSettings& s, const fs::path& programDir, std::string_view name) {
    s.matchFile = std::string(name.substr(0, kMaxMatchFileBytes));
    s.matchPath = matchPathFor(programDir, s.matchFile);
    if (!isRegularFile(s.matchPath)) {
        s.matchFile.clear();
        s.matchPath.clear();
    }
}

std::string readMatchFile(const fs::path& programDir) {
    const platform::Profile profile(platform::findNoCase(programDir, std::string(kSettingsFile)));
    return profile.readString(kImageSection, kKeyMatchFile, kDefaultMatchFile);
}

PictureAdjustSettings loadPictureAdjustSettings(const fs::path& programDir) {
    const platform::Profile profile(platform::findNoCase(programDir, std::string(kSettingsFile)));
    PictureAdjustSettings s;

    applyMatchFile(s, programDir, readMatchFile(programDir));

    s.contrast = profile.readInt(kImageSection, kKeyContrast, kToneNone);
    s.saturation = profile.readInt(kImageSection, kKeySaturation, kSaturationNone);
    s.colorControl = profile.readInt(kImageSection, kKeyColorControl, 3);
    s.edge = profile.readInt(kImageSection, kKeyEdge, kEdgeNormal);
    s.digitalCamera = profile.readInt(kImageSection, kKeyDigitalCamera, 0);

    s.satValue = readFloat(profile, kKeySatValue, "1.3");
    s.edgeEnhanceR = readFloat(profile, kKeyEdgeEnhanceR, "0.4");

    const TonePoints defaults;
    s.storedTonePoints.left = profile.readInt(kImageSection, kKeyLeft, defaults.left);
    s.storedTonePoints.bottom = profile.readInt(kImageSection, kKeyBottom, defaults.bottom);
    s.storedTonePoints.right = profile.readInt(kImageSection, kKeyRight, defaults.right);
    s.storedTonePoints.top = profile.readInt(kImageSection, kKeyTop, defaults.top);
    s.tonePoints = s.storedTonePoints;
    return s;
}

bool savePictureAdjustSettings(PictureAdjustSettings& settings, const fs::path& programDir,
                               const fs::path& systemDir, platform::Ui& ui) {
    const auto number = [](int v) { return platform::formatC("%d", v); };
    std::vector<platform::ProfileEntry> entries;
    const auto add = [&](std::string_view key, std::string value) {
        entries.push_back({kImageSection, key, std::move(value)});
    };
    add(kKeyMatchFile, settings.matchFile);
    // The stored points change only when the user works in manual mode.
    if (settings.contrast == kToneManual) {
        add(kKeyLeft, number(settings.tonePoints.left));
        add(kKeyBottom, number(settings.tonePoints.bottom));
        add(kKeyRight, number(settings.tonePoints.right));
        add(kKeyTop, number(settings.tonePoints.top));
    }
    add(kKeyContrast, number(settings.contrast));
    add(kKeySaturation, number(settings.saturation));
    add(kKeyColorControl, number(settings.colorControl));
    add(kKeyDigitalCamera, number(settings.digitalCamera));
    add(kKeyEdge, number(settings.edge));
    add(kKeyEdgeEnhanceR, platform::formatC("%f", double(settings.edgeEnhanceR)));
    add(kKeySatValue, platform::formatC("%f", double(settings.satValue)));

    const fs::path mirror = systemDir.empty()
                                ? fs::path()
                                : platform::findNoCase(systemDir, std::string(kSettingsFile));
    if (!platform::writeEntriesMirrored(
            platform::findNoCase(programDir, std::string(kSettingsFile)), mirror, entries)) {
        ui.message(kMsgSettingsNotSaved, platform::Ui::Icon::Exclamation);
        return false;
    }
    if (settings.contrast == kToneManual)
        settings.storedTonePoints = settings.tonePoints;
    settings.matchPath = matchPathFor(programDir, settings.matchFile);
    return true;
}

ColourMatchingChoice confirmColourMatching(const PictureAdjustSettings& settings,
                                           platform::Ui& ui) {
    if (isRegularFile(settings.matchPath))
        return {true, true};
    const auto answer = ui.ask(kAskPrintWithoutMatchTable, platform::Ui::Buttons::YesNo,
                               platform::Ui::Icon::Question);
    return {answer == platform::Ui::Answer::Yes, false};
}

} // namespace kv::adjust
