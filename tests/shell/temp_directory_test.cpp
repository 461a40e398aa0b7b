#include "platform/recording_ui.h"
#include "shell/shell_messages.h"
#include "shell/temp_directory.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using platform::RecordingUi;
using platform::Ui;
using test::TempDir;
using test::writeBytes;

std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PrepareTempDirectory, EmptiesStalePicturesAndKeepsOtherFiles) {
    struct Case {
        const char* name;
        std::vector<std::string> stale;
        bool existed;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"missing", {}, false, {}},
        {"empty", {}, true, {}},
        {"pictures only", {"a.bmp", "B.BMP", "c.Bmp"}, true, {}},
        {"pictures and others",
         {"a.bmp", "B.BMP", "keep.txt", "x.bmp.jpg", "bmp"},
         true,
         {"bmp", "keep.txt", "x.bmp.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir drive;
        const fs::path dir = drive / "kvtemp";
        if (c.existed)
            fs::create_directory(dir);
        for (const std::string& f : c.stale)
            writeBytes(dir / f, "x");

        prepareTempDirectory(drive.path());

        ASSERT_TRUE(fs::is_directory(dir));
        EXPECT_EQ(entries(dir), c.left);
    }
}

TEST(PrepareTempDirectory, NeverClearsPicturesBehindALink) {
    TempDir drive;
    TempDir elsewhere;
    writeBytes(elsewhere / "holiday.bmp", "photo");
    fs::create_directory_symlink(elsewhere.path(), drive / "kvtemp");

    prepareTempDirectory(drive.path());

    EXPECT_TRUE(fs::exists(elsewhere / "holiday.bmp"));
    EXPECT_FALSE(fs::is_symlink(drive / "kvtemp"));
    EXPECT_TRUE(fs::is_directory(drive / "kvtemp"));
}

TEST(CleanUpTempDirectory, RemovesTheFolderOrSaysWhyNot) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        CleanupReason reason;
        bool removed;
        std::string_view message;
        Ui::Icon icon;
    };
    const Case cases[] = {
        {"pictures only",
         {"a.bmp", "PRTFILE.BMP"},
         CleanupReason::WindowDestroyed,
         true,
         {},
         Ui::Icon::None},
        {"empty", {}, CleanupReason::SessionEnding, true, {}, Ui::Icon::None},
        {"other file, window destroyed",
         {"a.bmp", "keep.txt"},
         CleanupReason::WindowDestroyed,
         false,
         kMsgTempKeptOnDestroy,
         Ui::Icon::Stop},
        {"other file, session ending",
         {"keep.txt"},
         CleanupReason::SessionEnding,
         false,
         kMsgTempKeptOnSessionEnd,
         Ui::Icon::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir drive;
        const fs::path dir = drive / "kvtemp";
        fs::create_directory(dir);
        for (const std::string& f : c.files)
            writeBytes(dir / f, "x");
        RecordingUi ui;

        cleanUpTempDirectory(drive.path(), c.reason, ui);

        EXPECT_EQ(fs::exists(dir), !c.removed);
        if (!c.removed) {
            EXPECT_EQ(entries(dir), std::vector<std::string>{"keep.txt"});
        }
        if (c.message.empty()) {
            EXPECT_TRUE(ui.prompts().empty());
        } else {
            ASSERT_EQ(ui.prompts().size(), 1u);
            EXPECT_EQ(ui.prompts()[0].text, c.message);
            EXPECT_EQ(ui.prompts()[0].icon, c.icon);
        }
    }
}

TEST(CleanUpTempDirectory, QuietWithoutAFolderAndNeverFollowsALink) {
    TempDir drive;
    RecordingUi ui;
    cleanUpTempDirectory(drive.path(), CleanupReason::WindowDestroyed, ui);
    EXPECT_TRUE(ui.prompts().empty());

    TempDir elsewhere;
    writeBytes(elsewhere / "holiday.bmp", "photo");
    fs::create_directory_symlink(elsewhere.path(), drive / "kvtemp");
    cleanUpTempDirectory(drive.path(), CleanupReason::SessionEnding, ui);
    EXPECT_TRUE(fs::exists(elsewhere / "holiday.bmp"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(drive / "kvtemp")));
    EXPECT_TRUE(ui.prompts().empty());
}

} // namespace
} // namespace kv::shell
