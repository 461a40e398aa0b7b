#pragma once

#include "platform/ui.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::shell {

// Sets the process locale to the user's default; number formatting in files is
// done locale-independently elsewhere.
void useUserLocale();

enum class DisplayDepth { Supported, Reduced, Unsupported };

// 1 bit per pixel cannot show pictures at all; 8 bits shows them with false colours.
DisplayDepth classifyDisplayDepth(int bitsPerPixel);

// Tells the user about a display that cannot show true colour. Returns false
// when the program must end.
bool reportDisplayDepth(int bitsPerPixel, platform::Ui& ui);

struct WindowPlacement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The main window's first place: 640 x 480, centred on a screen of that size.
WindowPlacement centredMainWindow(int screenWidth, int screenHeight);

// Debug mode is on only when the whole command line after the program name is
// exactly "/debug".
bool isDebugCommandLine(const std::vector<std::string>& arguments);

// What the program was started with.
struct CommandLine {
    bool debug = false;
    // Pictures to add to the current album as if dropped, absolute, in the order given.
    std::vector<std::string> files;
    // Arguments that name no file on this computer (a URL of another scheme or
    // host), as typed.
    std::vector<std::string> refused;
};

// `typed`: the arguments after the program's name exactly as given, which decide
// debug mode; `remaining`: the same after Qt took its own options out. Every
// remaining argument but "/debug" names a file: relative to `startDir` unless
// absolute, or as a "file:" URL (a desktop entry's %U, a file manager).
CommandLine parseCommandLine(const std::vector<std::string>& typed,
                             const std::vector<std::string>& remaining,
                             const std::filesystem::path& startDir);

// The text for "--help" or "--version" among the arguments (up to a "--"), which the
// program prints and ends on before anything starts; nullopt when neither is given.
std::optional<std::string> informationText(const std::vector<std::string>& arguments);

// Tells the user, one message each, about arguments that cannot be opened.
void reportRefusedArguments(const std::vector<std::string>& refused, platform::Ui& ui);

// The local server name that makes the program single-instance: one running copy
// per user and program directory. Safe as a socket file name.
std::string instanceServerName(std::string_view user, const std::filesystem::path& programDir);

// Where the shipped data files come from: the installed share/kvphoto/ beside the
// executable's bin/ when present, else the source tree's data/ folder.
std::filesystem::path shippedDataDirectory(const std::filesystem::path& executableDir);

} // namespace kv::shell
