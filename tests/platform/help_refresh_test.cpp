#include "platform/paths.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// After an upgrade the installed help is another version than the user's copy:
// the copy follows it. Calibration files are the user's and never follow.
TEST(HelpRefresh, UserCopyFollowsTheInstalledHelp) {
    struct Case {
        const char* what;
        const char* file; // relative to the shipped folder and the program directory
        fs::file_time_type::duration copyAge; // how much older the user's copy is stamped
        const char* expected;
    };
    const Case cases[] = {
        {"help of an older version", "help/index.html", -24h * 30, "installed"},
        {"help copied by an older program, stamped at its copy", "help/index.html", 24h * 30,
         "installed"},
        {"help of this version", "help/index.html", 0h, "user's copy"},
        {"calibration the user has", "Media.rtb", -24h * 30, "user's copy"},
    };
    for (const Case& c : cases) {
        TempDir shipped;
        TempDir program;
        fs::create_directories((shipped / c.file).parent_path());
        fs::create_directories((program / c.file).parent_path());
        writeBytes(shipped / c.file, "installed");
        writeBytes(program / c.file, "user's copy");
        const fs::file_time_type shippedTime = fs::last_write_time(shipped / c.file);
        fs::last_write_time(program / c.file, shippedTime + c.copyAge);

        installShippedData(shipped.path(), program.path());

        EXPECT_EQ(readBytes(program / c.file), c.expected) << c.what;
        if (std::string(c.expected) == "installed") {
            EXPECT_EQ(fs::last_write_time(program / c.file), shippedTime) << c.what;
        }
    }
}

// A help page that is no regular file in the program directory is left alone.
TEST(HelpRefresh, LeavesWhatIsNoFile) {
    TempDir shipped;
    TempDir program;
    fs::create_directories(shipped / "help");
    writeBytes(shipped / "help" / "index.html", "installed");
    writeBytes(program / "elsewhere.html", "the user's page");
    fs::create_directories(program / "help");
    fs::create_symlink(program / "elsewhere.html", program / "help" / "index.html");

    installShippedData(shipped.path(), program.path());

    EXPECT_TRUE(fs::is_symlink(program / "help" / "index.html"));
    EXPECT_EQ(readBytes(program / "elsewhere.html"), "the user's page");
}

} // namespace
} // namespace kv::platform
