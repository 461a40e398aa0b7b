// Pictures reaching an album through the main window, as a user brings them in:
// dropped in every format, scanned from SANE's test device, then a restart.
#include "media/media_rank_table.h"
#include "platform/recording_ui.h"
#include "platform/scanner/sane_scanner.h"
#include "shell/main_window.h"
#include "support/drop_files.h"
#include "support/sane_test_backend.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A 24-bit top-left TGA, which this machine's converters cannot be trusted to write.
std::string tga(int w, int h) {
    std::string bytes(18, '\0');
    bytes[2] = 2;
    bytes[12] = char(w & 0xFF);
    bytes[13] = char(w >> 8);
    bytes[14] = char(h & 0xFF);
    bytes[15] = char(h >> 8);
    bytes[16] = 24;
    bytes[17] = 0x20;
    for (int i = 0; i < w * h; ++i)
        bytes += std::string{char(0x20), char(0x80), char(0xE0)};
    return bytes;
}

// A main window over a program directory that outlives it, so the test can
// close it and start the program again on the same files.
struct Program {
    test::ScopedProgramFolders folders;
    TempDir shipped;
    platform::RecordingUi ui;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainWindow> window;

    Program() {
        test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
        start();
    }
    void start() {
        state = std::make_unique<AppState>();
        window = std::make_unique<MainWindow>(*state, &ui);
        ASSERT_TRUE(window->create(shipped.path()));
    }
    void restart() {
        window->close();
        window.reset();
        start();
    }
    void drop(const std::vector<fs::path>& files) { test::dropFiles(*window, files); }
    const albums::AlbumState& albums() const { return state->albums; }
};

TEST(IntakeFlow, EveryFormatDroppedIsShownRotatedAndSurvivesARestart) {
    Program program;
    TempDir pictures;
    const fs::path data = KV_IMAGELIB_DATA;
    std::vector<fs::path> files = {
        data / "rgb24.bmp",          data / "pal8.bmp",          data / "codecs/quad.jpg",
        data / "codecs/rgb_lzw.tif", data / "codecs/offset.gif", data / "rgb24.pcx",
        pictures / "upright.tga",
    };
    test::writeBytes(files.back(), tga(30, 40));
    program.drop(files);

    ASSERT_TRUE(program.ui.prompts().empty()) << program.ui.prompts().front().text;
    ASSERT_EQ(program.albums().pictureCount, int(files.size()));
    // Dropped pictures arrive without a selection; choosing one shows it.
    EXPECT_EQ(program.albums().selectedPicture(), -1);
    for (int i = 0; i < int(files.size()); ++i) {
        const albums::PictureRow& row = program.albums().pictures[std::size_t(i)];
        EXPECT_EQ(row.fullPath, files[std::size_t(i)].string());
        EXPECT_FALSE(row.thumbnail.empty()) << row.displayName;
    }
    const int tgaIndex = int(files.size()) - 1;
    program.state->albums.select(tgaIndex);
    program.window->dispatch(CommandId::Rotate);
    program.window->dispatch(CommandId::DisplaySelected);
    ASSERT_TRUE(program.state->displayedPicture.has_value());
    EXPECT_EQ(program.state->displayedPicture->width, 40); // turned a quarter
    EXPECT_EQ(program.state->displayedPicture->height, 30);

    program.restart();

    ASSERT_EQ(program.albums().pictureCount, int(files.size()));
    for (int i = 0; i < int(files.size()); ++i) {
        const albums::PictureRow& row = program.albums().pictures[std::size_t(i)];
        EXPECT_EQ(row.fullPath, files[std::size_t(i)].string());
        EXPECT_FALSE(row.thumbnail.empty()) << row.displayName;
    }
    EXPECT_EQ(program.albums().pictures[std::size_t(tgaIndex)].rotation, 1);
    // The converted copies went with the old run's temporary folder; showing a
    // picture again converts it anew.
    program.state->albums.select(tgaIndex);
    program.window->dispatch(CommandId::DisplaySelected);
    ASSERT_TRUE(program.state->displayedPicture.has_value());
    EXPECT_EQ(program.state->displayedPicture->width, 40);
    EXPECT_TRUE(program.ui.prompts().empty());
}

TEST(IntakeFlow, ScannedFeederPagesBecomePicturesOfTheAlbum) {
    TempDir config;
    test::useSaneTestBackend(config.path());
    platform::scanner::SaneScanner scanner;
    ASSERT_TRUE(scanner.initialise());

    Program program;
    program.window->setScanner(&scanner);
    TempDir scans;
    // The target is asked for with the save dialog; answer it as the user would.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString((scans / "scan.bmp").string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    program.window->dispatch(CommandId::Acquire);
    QApplication::processEvents(); // the pages arrive through the event loop

    EXPECT_TRUE(program.ui.prompts().empty());
    ASSERT_EQ(program.albums().pictureCount, 10); // the test device's feeder
    EXPECT_EQ(program.albums().pictures[0].fullPath, (scans / "scan001.bmp").string());
    EXPECT_EQ(program.albums().pictures[9].displayName, "scan010.bmp");
    EXPECT_FALSE(program.albums().pictures[9].thumbnail.empty());
    ::unsetenv("SANE_CONFIG_DIR");
}

} // namespace
} // namespace kv::shell
