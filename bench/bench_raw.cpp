// A camera raw (a 6000 x 4000 DNG with a 1620 x 1080 JPEG preview, as
// kv_camera_dng writes for compare.sh): adding it to an album, which takes its
// preview, and developing its sensor data for a sheet and at half size.
#include "albums/album_store.h"
#include "intake/picture_intake.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "shell/app_state.h"

#include "support/dng_file.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
using namespace kv;
namespace lib = platform::imagelib;

namespace {

const fs::path kDir = fs::temp_directory_path() / "kv-bench-raw";

fs::path cameraDng() {
    static const fs::path path = [] {
        fs::create_directories(kDir);
        const fs::path file = kDir / "camera.dng";
        if (!fs::exists(file)) {
            std::ofstream out(file, std::ios::binary);
            out << test::dng::dngFile({.width = 6000,
                                       .height = 4000,
                                       .previewWidth = 1620,
                                       .previewHeight = 1080,
                                       .jpegPreview = true});
        }
        return file;
    }();
    return path;
}

// From "Laden" to the thumbnail: the preview into the temporary copy, the album files.
void addRaw(benchmark::State& state) {
    const fs::path file = cameraDng();
    const fs::path home = kDir / "home", temp = kDir / "kvtemp";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(home);
        fs::remove_all(temp);
        fs::create_directories(home);
        shell::AppState app;
        platform::RecordingUi ui;
        albums::AlbumStore store{app.albums, ui, home};
        store.readAlbumList("My_Album");
        app.albums.pictures[0].displayName = file.filename().string();
        state.ResumeTiming();
        if (intake::addStagedPicture(app, store, ui, file.parent_path(), temp) !=
            intake::AddResult::Added)
            state.SkipWithError("not added");
    }
}
BENCHMARK(addRaw)->Unit(benchmark::kMillisecond);

// The print path's decode: the sensor data developed to at least what the one-up
// sheet draws (the picture fitted into 640 x 480), or whole at half size as the
// print server asks for it.
void developRaw(benchmark::State& state) {
    const bool forSheet = state.range(0) != 0;
    const fs::path file = cameraDng();
    const lib::NeededExtent sheet = [](int width, int height) {
        const double scale = std::min(640.0 / width, 480.0 / height);
        return lib::DecodeExtent{int(width * scale), int(height * scale)};
    };
    const lib::NeededExtent whole = [](int width, int height) {
        return lib::DecodeExtent{width, height};
    };
    for (auto _ : state) {
        lib::DecodedImage image;
        if (lib::ScaleCDAtLeast(file, forSheet ? sheet : whole, image) != 1)
            state.SkipWithError("not developed");
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(developRaw)->ArgName("forSheet")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
