// Scanner pages arrive as events on the main window. A message box runs its own
// event loop, so pages keep arriving while the user reads about the full album.
#include "intake/acquisition.h"
#include "intake/intake_messages.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/album_fill.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <functional>
#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using PageResult = Acquisition::PageResult;

// Records like RecordingUi and, like a real message box, runs a nested event
// loop that delivers whatever was posted before it closes.
class ModalUi : public platform::RecordingUi {
  public:
    void message(std::string_view text, Icon icon) override {
        RecordingUi::message(text, icon);
        QEventLoop box;
        QMetaObject::invokeMethod(&box, &QEventLoop::quit, Qt::QueuedConnection);
        box.exec();
    }
};

void post(std::function<void()> event) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(event), Qt::QueuedConnection);
}

TEST(AcquisitionEvents, AlbumFullIsToldOnceWhilePagesKeepArriving) {
    test::ScopedProgramFolders folders;
    test::TempDir dir;
    shell::AppState state;
    ModalUi ui;
    albums::AlbumStore store{state.albums, ui, dir.path()};
    ASSERT_TRUE(store.readAlbumList("Scans"));
    test::fillAlbum(state.albums, store, 98);
    ui.clear();

    Acquisition acquisition;
    std::vector<PageResult> results;
    for (int page = 1; page <= 4; ++page) {
        const fs::path file = dir / ("scan" + std::to_string(page) + ".bmp");
        ASSERT_TRUE(platform::imagelib::WriteBmpFile(file, platform::Bitmap24::make(4, 3)));
        post([&, file] {
            results.push_back(acquisition.addPage(state, store, ui, file, dir / "kvtemp"));
        });
    }
    QEventLoop mainLoop;
    QMetaObject::invokeMethod(&mainLoop, &QEventLoop::quit, Qt::QueuedConnection);
    mainLoop.exec();

    // Pages 3 and 4 reach the handler while the box for page 2 is open.
    EXPECT_EQ(results, (std::vector<PageResult>{PageResult::Added, PageResult::AlbumFull,
                                                PageResult::AlbumFull, PageResult::AlbumFull}));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{std::string(msg::kAlbumFull)});
    EXPECT_EQ(state.albums.pictureCount, 99);
}

} // namespace
} // namespace kv::intake
