// Writes a camera-sized raw into a folder and prints its path, for the side-by-side
// comparison with dcraw_emu: a 6000 x 4000 DNG with a 1620 x 1080 JPEG preview, as a
// camera lays one out.
#include <cstddef>
#include <cstdio>

#include "support/dng_file.h"

#include <filesystem>
#include <fstream>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kv_camera_dng FOLDER\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    const std::filesystem::path file = std::filesystem::path(argv[1]) / "camera.dng";
    if (!std::filesystem::exists(file)) {
        std::ofstream out(file, std::ios::binary);
        out << kv::test::dng::dngFile({.width = 6000,
                                       .height = 4000,
                                       .previewWidth = 1620,
                                       .previewHeight = 1080,
                                       .jpegPreview = true});
        if (!out)
            return 1;
    }
    std::printf("%s\n", file.c_str());
    return 0;
}
