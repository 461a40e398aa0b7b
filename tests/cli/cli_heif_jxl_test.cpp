// kvphoto-cli with HEIC, AVIF and JPEG XL pictures: added to an album upright,
// and rendered into a sheet's raster file as any other picture.
#include "cli_runner.h"
#include "imagelib/heif_file.h"
#include "imagelib/jxl_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

TEST(CliHeifJxl, PicturesAreAddedUprightAndRendered) {
    Cli cli;
    fs::create_directories(cli.root() / "pics");
    const struct {
        const char* name;
        std::string bytes;
        const char* size; // as album show gives it, upright
    } pictures[] = {
        {"IMG_0001.HEIC",
         test::heifFile(
             {{.width = 64, .height = 32, .orientation = heif_orientation_rotate_90_cw}}),
         "32x64"},
        {"bild.avif", test::heifFile({{.codec = heif_compression_AV1, .width = 40, .height = 24}}),
         "40x24"},
        {"foto.jxl", test::jxlFile({.width = 48, .height = 20, .alpha = true, .orientation = 6}),
         "20x48"},
    };
    std::vector<std::string> args{"picture", "add", "My_Album"};
    std::string shown;
    int index = 0;
    for (const auto& p : pictures) {
        const fs::path file = cli.root() / "pics" / p.name;
        test::writeBytes(file, p.bytes);
        args.push_back(file.string());
        shown += std::to_string(index++) + "\t0\t" + p.size + "\t" + file.string() + "\t" + p.name +
                 "\n";
    }
    const Result added = cli.run(args);
    EXPECT_EQ(added.code, 0) << added.err;
    EXPECT_EQ(cli.run({"album", "show", "My_Album"}), (Result{0, shown, ""}));

    for (const std::string& picture : std::vector<std::string>(args.begin() + 3, args.end())) {
        SCOPED_TRACE(picture);
        const fs::path bmx = cli.root() / "sheet.bmx";
        fs::remove(bmx);
        const Result rendered = cli.run({"render", picture, "--bmx", bmx.string()});
        EXPECT_EQ(rendered.code, 0) << rendered.err;
        EXPECT_GT(fs::file_size(bmx), 0u);
    }
}

} // namespace
} // namespace kv::cli
