// kvphoto-cli render --proof: the built tool writes the proof of the sheet it renders,
// and the proof follows what the colour stages do to the picture.

#include "cli_runner.h"
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;
using Rgb = std::array<int, 3>;

// 640 x 480, the printer's frame: a coloured left half, a white right half. The
// shipped green and blue curves give each level below 224 from several inputs up to
// 128; above it, as here, every level has one input.
fs::path halvesBmp(const fs::path& file) {
    platform::Bitmap24 b = platform::Bitmap24::make(640, 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            std::uint8_t* p = b.at(x, y);
            const bool left = x < 320;
            p[0] = left ? 140 : 255; // blue, green, red
            p[1] = left ? 150 : 255;
            p[2] = left ? 220 : 255;
        }
    EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, b));
    return file;
}

// The PNG's pixel at x, y; none when it is not a 640 x 480 PNG.
struct Png {
    std::vector<std::uint8_t> rgb;
    Rgb at(int x, int y) const {
        const std::size_t i = (std::size_t(y) * 640 + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

Png readPng(const fs::path& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<std::uint8_t> rgb(640 * 480 * 3);
    if (!png_image_begin_read_from_file(&image, file.c_str()) || image.width != 640 ||
        image.height != 480)
        return {};
    image.format = PNG_FORMAT_RGB;
    return {png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)
                ? rgb
                : std::vector<std::uint8_t>()};
}

int chroma(const Rgb& c) {
    return *std::max_element(c.begin(), c.end()) - *std::min_element(c.begin(), c.end());
}

TEST(CliRenderProof, ProofShowsWhatTheColourStagesDo) {
    Cli cli;
    const std::string picture = halvesBmp(cli.root() / "halves.bmp").string();
    const fs::path bmx = cli.root() / "sheet.bmx";
    const struct {
        const char* name;
        const char* settings; // kvx00.ini's [Image], empty: the defaults
        bool withBmx;
    } cases[] = {
        {"defaults", "", true},
        {"saturation up", "[Image]\r\nSaturation=1\r\nSatValue=1.8\r\n", false},
        {"plain levels", "[Image]\r\nColorControl=4\r\n", false},
    };
    Rgb patch[3], paper[3];
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].name);
        fs::create_directories(cli.home());
        test::writeBytes(cli.home() / "kvx00.ini", cases[i].settings);
        fs::remove(bmx);
        const fs::path proof = cli.root() / (std::to_string(i) + ".png");
        std::vector<std::string> args = {"render", picture, "--proof", proof.string()};
        if (cases[i].withBmx)
            args.insert(args.end(), {"--bmx", bmx.string()});
        const Result r = cli.run(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(fs::exists(bmx), cases[i].withBmx);
        const Png png = readPng(proof);
        ASSERT_FALSE(png.rgb.empty());
        patch[i] = png.at(160, 240);
        paper[i] = png.at(480, 240);
    }
    // The print of the picture as it is: the patch comes back close to its colour,
    // the paper white. Plain levels (4 x v) are the picture's own bytes, except where
    // the final clamp cuts them at the curve tops (red 444, green and blue 714).
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(patch[0][c], (Rgb{220, 150, 140})[c], 3) << c;
        EXPECT_GE(paper[0][c], 253) << c;
    }
    EXPECT_EQ(patch[2], (Rgb{111, 150, 140}));
    EXPECT_EQ(paper[2], (Rgb{111, 179, 179}));
    // Saturation up: the patch's proof is more saturated, the paper stays white.
    EXPECT_GT(chroma(patch[1]), chroma(patch[0]) + 10);
    EXPECT_LE(chroma(paper[1]), 2);
}

TEST(CliRenderProof, AProofThatCannotBeWrittenIsToldAndNothingIsReplaced) {
    Cli cli;
    const std::string picture = halvesBmp(cli.root() / "halves.bmp").string();
    ASSERT_EQ(::mkfifo((cli.root() / "pipe").c_str(), 0600), 0);
    fs::create_directory(cli.root() / "folder.png");
    for (const fs::path& target :
         {cli.root() / "pipe", cli.root() / "folder.png", cli.root() / "missing" / "p.png"}) {
        SCOPED_TRACE(target.string());
        const Result r = cli.run({"render", picture, "--proof", target.string()});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "kvphoto-cli: the proof could not be written: " + target.string() + "\n");
    }
    EXPECT_TRUE(fs::is_fifo(cli.root() / "pipe"));
    EXPECT_TRUE(fs::is_directory(cli.root() / "folder.png"));
    EXPECT_FALSE(fs::exists(cli.root() / "missing"));
}

} // namespace
} // namespace kv::cli
