// Writes the benchmarks' 24-megapixel camera JPEG into a folder and prints its path,
// for the side-by-side comparison with the standard tools.
// jpeglib.h, under camera_jpeg.h, needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include "camera_jpeg.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kv_camera_jpeg FOLDER\n");
        return 2;
    }
    const std::filesystem::path file = kv::bench::cameraJpeg(argv[1]);
    if (file.empty())
        return 1;
    std::printf("%s\n", file.c_str());
    return 0;
}
