#include "shell/startup.h"

#include "shell/shell_messages.h"

#include <clocale>
#include <cstdint>
#include <cstdio>

namespace kv::shell {

namespace fs = std::filesystem;

void useUserLocale() {
    std::setlocale(LC_ALL, "");
}

DisplayDepth classifyDisplayDepth(int bitsPerPixel) {
    if (bitsPerPixel == 1)
        return DisplayDepth::Unsupported;
    if (bitsPerPixel == 8)
        return DisplayDepth::Reduced;
    return DisplayDepth::Supported;
}

bool reportDisplayDepth(int bitsPerPixel, platform::Ui& ui) {
    switch (classifyDisplayDepth(bitsPerPixel)) {
    case DisplayDepth::Reduced:
        ui.message(kMsgReducedColours, platform::Ui::Icon::None);
        return true;
    case DisplayDepth::Unsupported:
        ui.message(kMsgUnsupportedColours, platform::Ui::Icon::None);
        return false;
    case DisplayDepth::Supported:
        break;
    }
    return true;
}

WindowPlacement centredMainWindow(int screenWidth, int screenHeight) {
    constexpr int kWidth = 640;
    constexpr int kHeight = 480;
    return {(screenWidth - kWidth) / 2, (screenHeight - kHeight) / 2, kWidth, kHeight};
}

bool isDebugCommandLine(const std::vector<std::string>& arguments) {
    return arguments.size() == 1 && arguments.front() == "/debug";
}

std::string instanceServerName(std::string_view user, const fs::path& programDir) {
    // FNV-1a: stable across builds, unlike std::hash.
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : programDir.lexically_normal().string()) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    std::string name(kWindowClass);
    name += '-';
    for (char c : user.substr(0, 32)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '.';
        name += plain ? c : '_';
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    name += '-';
    name += hex;
    return name;
}

fs::path shippedDataDirectory(const fs::path& executableDir) {
    std::error_code ec;
    const fs::path installed = executableDir / ".." / "share" / "kvphoto";
    if (fs::is_directory(installed, ec))
        return installed.lexically_normal();
    return fs::path(KV_DATA_DIR);
}

} // namespace kv::shell
