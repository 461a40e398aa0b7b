#include "shell/temp_directory.h"

#include "platform/ascii.h"
#include "shell/shell_messages.h"

#include <string>

namespace kv::shell {

namespace fs = std::filesystem;

namespace {

const char* const kTempName = "kvtemp";

// "*.bmp" as Windows matches it: the extension in any letter case.
bool hasBmpExtension(const fs::path& file) {
    return platform::equalsNoCase(file.extension().string(), ".bmp");
}

void deleteBmpFiles(const fs::path& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return;
    for (const fs::directory_entry& entry : it) {
        std::error_code entryError;
        if (entry.is_directory(entryError) || !hasBmpExtension(entry.path()))
            continue;
        fs::remove(entry.path(), entryError);
    }
}

// A link in place of the folder is removed, never followed: clearing pictures
// through it would delete files elsewhere.
bool isLink(const fs::path& path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
}

} // namespace

void prepareTempDirectory(const fs::path& driveC) {
    const fs::path dir = driveC / kTempName;
    std::error_code ec;
    if (isLink(dir))
        fs::remove(dir, ec);
    if (fs::create_directories(dir, ec))
        return;
    deleteBmpFiles(dir);
    fs::remove(dir, ec);
    fs::create_directories(dir, ec);
}

void cleanUpTempDirectory(const fs::path& driveC, CleanupReason reason, platform::Ui& ui) {
    const fs::path dir = driveC / kTempName;
    std::error_code ec;
    if (isLink(dir)) {
        fs::remove(dir, ec);
        return;
    }
    if (!fs::is_directory(dir, ec))
        return;
    deleteBmpFiles(dir);
    if (fs::remove(dir, ec) && !ec)
        return;
    if (reason == CleanupReason::WindowDestroyed)
        ui.message(kMsgTempKeptOnDestroy, platform::Ui::Icon::Stop);
    else
        ui.message(kMsgTempKeptOnSessionEnd, platform::Ui::Icon::Information);
}

} // namespace kv::shell
