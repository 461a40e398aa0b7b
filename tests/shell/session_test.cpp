#include "media/media_rank_table.h"
#include "platform/print_buffer.h"
#include "platform/recording_ui.h"
#include "shell/session.h"
#include "shell/shell_messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using platform::RecordingUi;
using test::readBytes;
using test::ScopedProgramFolders;
using test::TempDir;
using test::writeBytes;

TEST(PrintBuffer, OneWritablePageHeldUntilReleased) {
    platform::PrintBuffer buffer;
    ASSERT_TRUE(buffer.reserve());
    ASSERT_TRUE(buffer.held());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % platform::PrintBuffer::kSize, 0u);
    buffer.data()[0] = 1;
    buffer.data()[platform::PrintBuffer::kSize - 1] = 2;

    const auto first = buffer.release();
    EXPECT_TRUE(first.decommitted && first.released);
    EXPECT_FALSE(buffer.held());
    const auto again = buffer.release();
    EXPECT_TRUE(again.decommitted && again.released);
}

TEST(Session, AnAlbumListThatCannotBeReadOrMadeIsToldAndEndsTheStart) {
    // A folder where album.dat belongs: it can neither be read nor written.
    ScopedProgramFolders folders;
    TempDir shipped;
    fs::create_directories(folders.home() / "album.dat" / "inside");
    AppState state;
    RecordingUi ui;
    Session session(state, ui);
    EXPECT_FALSE(session.create(shipped.path()));
    ASSERT_EQ(ui.prompts().size(), 1u);
    EXPECT_EQ(ui.prompts()[0].text, std::string(kMsgAlbumListUnusable) +
                                        (state.programDirectory / "album.dat").string() +
                                        std::string(kMsgAlbumListUnusableTail));
    EXPECT_EQ(ui.prompts()[0].icon, platform::Ui::Icon::Stop);
}

TEST(Session, FirstStartMakesTheDefaultAlbumAndCopiesShippedData) {
    ScopedProgramFolders folders;
    TempDir shipped;
    writeBytes(shipped / "help.html", "help");
    writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
    AppState state;
    state.albums.select(3);
    state.albums.setLoaded(3);
    RecordingUi ui;
    Session session(state, ui);

    ASSERT_TRUE(session.create(shipped.path()));

    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_TRUE(fs::equivalent(state.programDirectory, folders.home()));
    EXPECT_EQ(readBytes(folders.home() / "album.dat"), "1\r\nMy_Album\r\n");
    EXPECT_EQ(readBytes(folders.home() / "help.html"), "help");
    ASSERT_EQ(state.albums.albumNames, std::vector<std::string>{"My_Album"});
    EXPECT_EQ(state.albums.currentAlbum, 0);
    EXPECT_EQ(state.albums.pictureCount, 0);
    EXPECT_EQ(state.albums.selectedPicture(), -1);
    EXPECT_EQ(state.albums.loadedPicture(), -2);
    EXPECT_TRUE(session.printBufferHeld());
    EXPECT_EQ(session.mediaState().currentMediaId, "AMMMMMMMMM");
    EXPECT_EQ(session.mediaState().gamma.table[0][4], 50);
}

TEST(Session, KeepsAnExistingAlbumList) {
    ScopedProgramFolders folders;
    fs::create_directories(folders.home());
    writeBytes(folders.home() / "album.dat", "2\r\nUrlaub\r\nFamilie\r\n");
    TempDir shipped;
    AppState state;
    RecordingUi ui;
    Session session(state, ui);

    ASSERT_TRUE(session.create(shipped.path()));
    EXPECT_EQ(state.albums.albumNames, (std::vector<std::string>{"Urlaub", "Familie"}));
    EXPECT_EQ(readBytes(folders.home() / "album.dat"), "2\r\nUrlaub\r\nFamilie\r\n");
}

TEST(Session, CleanUpRunsOnceAndReleasesEverything) {
    ScopedProgramFolders folders;
    TempDir shipped;
    writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
    AppState state;
    RecordingUi ui;
    Session session(state, ui);
    ASSERT_TRUE(session.create(shipped.path()));
    state.displayedPicture = platform::Bitmap24::make(2, 2);
    const fs::path kvtemp = folders.driveC() / "kvtemp";
    fs::create_directories(kvtemp);
    writeBytes(kvtemp / "prtfile.bmp", "x");
    writeBytes(kvtemp / "notes.txt", "x");

    // The session ends first, then the window goes: the user hears about it once.
    session.cleanUp(CleanupReason::SessionEnding);
    session.cleanUp(CleanupReason::WindowDestroyed);

    EXPECT_FALSE(session.printBufferHeld());
    EXPECT_FALSE(state.displayedPicture.has_value());
    EXPECT_FALSE(fs::exists(kvtemp / "prtfile.bmp"));
    ASSERT_EQ(ui.prompts().size(), 1u);
    EXPECT_EQ(ui.prompts()[0].text, kMsgTempKeptOnSessionEnd);
    EXPECT_EQ(ui.prompts()[0].icon, platform::Ui::Icon::Information);
}

// A printer wait under way when the run ends (the window closed during the port
// set-up) is not sat out: the port library is gone, nothing is waited for.
TEST(Session, APrinterWaitEndsWithTheRun) {
    ScopedProgramFolders folders;
    TempDir shipped;
    writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
    AppState state;
    RecordingUi ui;
    Session* running = nullptr;
    int pumps = 0;
    Session session(state, ui, nullptr, [&] {
        if (running && ++pumps == 2)
            running->cleanUp(CleanupReason::WindowDestroyed);
    });
    ASSERT_TRUE(session.create(shipped.path()));
    running = &session;

    // An hour: without the end of the run this would not return.
    session.printerLink().delayMs(3'600'000);
    EXPECT_TRUE(session.cleanedUp());
    EXPECT_EQ(pumps, 2);
    session.printerLink().delayMs(3'600'000);
    EXPECT_EQ(pumps, 3);
}

TEST(Session, CreationLoadsThePictureAdjustmentSettings) {
    ScopedProgramFolders folders;
    TempDir shipped;
    AppState state;
    RecordingUi ui;
    {
        // A fresh program directory: the defaults, and no colour-matching table to use.
        Session session(state, ui);
        ASSERT_TRUE(session.create(shipped.path()));
        const adjust::PictureAdjustSettings& s = session.pictureSettings();
        EXPECT_EQ(s.contrast, adjust::kToneNone);
        EXPECT_EQ(s.saturation, adjust::kSaturationNone);
        EXPECT_EQ(s.colorControl, 3);
        EXPECT_EQ(s.edge, adjust::kEdgeNormal);
        EXPECT_EQ(s.edgeEnhanceR, 0.4f);
        EXPECT_EQ(s.satValue, 1.3f);
        EXPECT_EQ(s.digitalCamera, 0);
        EXPECT_EQ(s.tonePoints, (adjust::TonePoints{30, 20, 210, 230}));
        EXPECT_EQ(s.matchFile, "");
        EXPECT_TRUE(s.matchPath.empty());
        session.cleanUp(CleanupReason::WindowDestroyed);
    }
    // What the program directory holds at the next start.
    writeBytes(folders.home() / "normal.cct", "table");
    writeBytes(folders.home() / "kvx00.ini", "[Image]\r\nContrast=2\r\nDigitalCamera=1\r\n");
    Session session(state, ui);
    ASSERT_TRUE(session.create(shipped.path()));
    EXPECT_EQ(session.pictureSettings().contrast, adjust::kToneManual);
    EXPECT_EQ(session.pictureSettings().digitalCamera, 1);
    EXPECT_TRUE(fs::equivalent(session.pictureSettings().matchPath, folders.home() / "normal.cct"));
}

} // namespace
} // namespace kv::shell
