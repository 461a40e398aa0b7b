#include "albums/album_store.h"
#include "platform/recording_ui.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace kv;

// An album of 99 pictures with full 100 x 75 thumbnails in a folder of its own.
class AlbumFolder {
  public:
    AlbumFolder() {
        std::random_device rd;
        m_dir = fs::temp_directory_path() / ("kvbench-" + std::to_string(rd()));
        fs::create_directories(m_dir);
        albums::AlbumState state;
        platform::RecordingUi ui;
        albums::AlbumStore store(state, ui, m_dir);
        store.readAlbumList("My_Album");
        platform::Bitmap24 thumb = platform::Bitmap24::make(100, 75);
        for (std::size_t i = 0; i < thumb.pixels.size(); ++i)
            thumb.pixels[i] = static_cast<std::uint8_t>(i * 7);
        for (int i = 0; i < albums::kMaxPictures; ++i) {
            albums::PictureRow& row = state.pictures[static_cast<std::size_t>(i)];
            row.fullPath = "/home/user/Bilder/Urlaub/IMG_" + std::to_string(1000 + i) + ".JPG";
            row.displayName = "IMG_" + std::to_string(1000 + i) + ".JPG";
            row.thumbnail = thumb;
        }
        state.pictureCount = albums::kMaxPictures;
        store.appendPicture();
    }
    ~AlbumFolder() {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    const fs::path& dir() const { return m_dir; }

  private:
    fs::path m_dir;
};

void loadFullAlbum(benchmark::State& bench) {
    AlbumFolder folder;
    albums::AlbumState state;
    platform::RecordingUi ui;
    albums::AlbumStore store(state, ui, folder.dir());
    store.readAlbumList("My_Album");
    for (auto _ : bench) {
        store.loadAlbum(0, albums::AlbumChangeMode::Deleting);
        benchmark::DoNotOptimize(state.pictures[98].thumbnail.pixels.data());
    }
}
BENCHMARK(loadFullAlbum)->Unit(benchmark::kMillisecond);

void rotateOnePicture(benchmark::State& bench) {
    AlbumFolder folder;
    albums::AlbumState state;
    platform::RecordingUi ui;
    albums::AlbumStore store(state, ui, folder.dir());
    store.readAlbumList("My_Album");
    store.loadAlbum(0, albums::AlbumChangeMode::Deleting);
    for (auto _ : bench)
        store.rotatePicture(50);
}
BENCHMARK(rotateOnePicture)->Unit(benchmark::kMillisecond);

} // namespace
