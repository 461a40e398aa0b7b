// Writes the benchmarks' camera JPEG (24 megapixels, or WIDTH x HEIGHT) into a folder
// and prints its path, for the side-by-side comparison with the standard tools.
// jpeglib.h, under camera_jpeg.h, needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "camera_jpeg.h"

int main(int argc, char* argv[]) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: kv_camera_jpeg FOLDER [WIDTH HEIGHT]\n");
        return 2;
    }
    const std::filesystem::path file =
        argc == 4 ? kv::bench::cameraJpeg(argv[1], std::atoi(argv[2]), std::atoi(argv[3]))
                  : kv::bench::cameraJpeg(argv[1]);
    if (file.empty())
        return 1;
    std::printf("%s\n", file.c_str());
    return 0;
}
