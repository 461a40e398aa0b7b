#include "shell/shell_messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;

// The window names the desktop entry, and the entry names the window's X11 class
// (the program's file name): a launcher's busy cursor, the menu entry and the dock
// all find the running window.
TEST(DesktopIdentity, WindowAndDesktopEntryNameEachOther) {
    const fs::path entry =
        fs::path(KV_PACKAGING_DIR) / (std::string(kDesktopFileName) + ".desktop");
    ASSERT_TRUE(fs::is_regular_file(entry)) << entry;
    const std::string text = test::readBytes(entry);
    for (const std::string& line :
         {std::string("StartupWMClass=") + KV_PROGRAM_NAME, std::string("StartupNotify=true"),
          "Icon=" + std::string(kDesktopFileName)})
        EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line;
}

} // namespace
} // namespace kv::shell
