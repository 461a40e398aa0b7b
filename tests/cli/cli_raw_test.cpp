// A camera raw through the built tool: added like any picture, and every sheet it
// is rendered on holds its developed sensor data, not the preview the window shows.

#include "cli_runner.h"
#include "platform/imagelib/image_library.h"
#include "support/dng_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;
namespace lib = platform::imagelib;

// What `decode` gives of `raw`, as a BMP file.
fs::path asBmp(const std::string& raw,
               lib::DecodeResult (*decode)(std::span<const std::uint8_t>, lib::DecodedImage&),
               const fs::path& file) {
    lib::DecodedImage image;
    platform::Bitmap24 bitmap;
    EXPECT_EQ(decode({reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()}, image),
              lib::DecodeResult::Ok);
    EXPECT_TRUE(lib::ConvertTo24(image, bitmap));
    EXPECT_TRUE(lib::WriteBmpFile(file, bitmap));
    return file;
}

TEST(CliRaw, AddedLikeAPictureAndRenderedFromItsDevelopedSensorData) {
    Cli cli;
    const std::string raw = test::dng::dngFile({.orientation = 6});
    const fs::path dng = cli.root() / "kamera.dng";
    test::writeBytes(dng, raw);
    const fs::path developed = asBmp(raw, lib::developRaw, cli.root() / "entwickelt.bmp");
    const fs::path preview = asBmp(raw, lib::decodeRaw, cli.root() / "vorschau.bmp");

    const Result added = cli.run({"picture", "add", "My_Album", dng.string()});
    EXPECT_EQ(added.code, 0) << added.err;
    EXPECT_EQ(added.err, "");

    const auto render = [&](std::vector<std::string> args, const fs::path& picture) {
        const fs::path out = cli.root() / "sheet.bmx";
        args.insert(args.begin(), "render");
        args.insert(args.end(), {picture.string(), "--bmx", out.string()});
        const Result r = cli.run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        const std::string sheet = test::readBytes(out);
        fs::remove(out);
        return sheet;
    };
    for (const std::vector<std::string>& layout :
         {std::vector<std::string>{}, std::vector<std::string>{"--layout", "4"}}) {
        SCOPED_TRACE(layout.empty() ? "1 in 1" : "4 in 1");
        const std::string sheet = render(layout, dng);
        EXPECT_FALSE(sheet.empty());
        EXPECT_TRUE(sheet == render(layout, developed));
        EXPECT_FALSE(sheet == render(layout, preview));
    }
}

} // namespace
} // namespace kv::cli
