#include "shell/startup.h"

#include "intake/intake_messages.h"
#include "platform/version.h"
#include "shell/shell_messages.h"

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <optional>

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

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != prefix[i])
            return false;
    return true;
}

// "scheme://…": a URL. A colon without the two slashes ("foto:1.jpg") is part
// of a file name.
bool isUrl(std::string_view arg) {
    const std::size_t colon = arg.find(':');
    if (colon == 0 || colon == std::string_view::npos || arg.substr(colon + 1, 2) != "//")
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = lower(arg[i]);
        const bool letter = c >= 'a' && c <= 'z';
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The local path of a "file:" URL; none for another host or a path that holds a
// NUL byte. `rest` follows "file:" and starts with '/'.
std::optional<std::string> fileUrlPath(std::string_view rest) {
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && startsWithNoCase(host, "localhost")))
            return std::nullopt;
        rest.remove_prefix(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const int high = i + 2 < rest.size() && rest[i] == '%' ? hexValue(rest[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(rest[i + 2]) : -1;
        if (low >= 0) {
            path += char(high * 16 + low);
            i += 2;
        } else {
            path += rest[i];
        }
    }
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

// "./" steps and doubled slashes go; ".." stays, since it may lead out of a
// symbolic link.
std::string withoutDotSteps(const fs::path& path) {
    fs::path clean;
    for (const fs::path& part : path)
        if (part != "." && !part.empty())
            clean /= part;
    return clean.string();
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& typed,
                             const std::vector<std::string>& remaining, const fs::path& startDir) {
    CommandLine line;
    line.debug = isDebugCommandLine(typed);
    bool dashesSeen = false;
    for (const std::string& arg : remaining) {
        // The first "--" ends the options: the names after it are files, whatever they say.
        if (arg == "--" && !dashesSeen) {
            dashesSeen = true;
            continue;
        }
        if (arg.empty() || arg == "/debug")
            continue;
        if (startsWithNoCase(arg, "file:/")) {
            if (const std::optional<std::string> path =
                    fileUrlPath(std::string_view(arg).substr(5)))
                line.files.push_back(withoutDotSteps(*path));
            else
                line.refused.push_back(arg);
        } else if (isUrl(arg)) {
            line.refused.push_back(arg);
        } else {
            line.files.push_back(withoutDotSteps(startDir / arg));
        }
    }
    return line;
}

std::optional<std::string> informationText(const std::vector<std::string>& arguments) {
    for (const std::string& arg : arguments) {
        if (arg == "--")
            break;
        if (arg == "--help")
            return std::string(kCommandLineHelp);
        if (arg == "--version")
            return "kvphoto " + std::string(platform::programVersion()) + "\n";
    }
    return std::nullopt;
}

void reportRefusedArguments(const std::vector<std::string>& refused, platform::Ui& ui) {
    // In the intake's way: reason, a blank line, the name, "Kann nicht geöffnet werden.";
    // a URL has no path separator to end on, so the last line starts a line of its own.
    for (const std::string& arg : refused) {
        std::string text(kMsgNotLocalFile);
        text += intake::msg::kReasonSeparator;
        text += arg;
        text += '\n';
        text += intake::msg::kCannotOpenSuffix;
        ui.message(text, platform::Ui::Icon::None);
    }
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
    // KV_DATA_RELDIR: from the installed bin/ to share/kvphoto/, as CMake lays it out.
    const fs::path installed = executableDir / KV_DATA_RELDIR;
    if (fs::is_directory(installed, ec))
        return installed.lexically_normal();
    return fs::path(KV_DATA_DIR);
}

} // namespace kv::shell
