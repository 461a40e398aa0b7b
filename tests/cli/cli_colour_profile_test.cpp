// A photo in Display P3 prints as the same photo converted to sRGB before it was
// saved: kvphoto-cli render makes the same sheet of both. A damaged profile costs a
// notice on standard error and nothing else.
#include "cli_runner.h"
#include "imagelib/quadrant_picture.h"
#include "intake/intake_messages.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 320, kHeight = 240;

// A photo-like sweep of saturated and muted colours, as blue, green, red rows.
std::vector<std::uint8_t> photo() {
    std::vector<std::uint8_t> bgr(std::size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = bgr.data() + (std::size_t(y) * kWidth + x) * 3;
            p[0] = std::uint8_t(x * 255 / (kWidth - 1));
            p[1] = std::uint8_t(y * 255 / (kHeight - 1));
            p[2] = std::uint8_t(255 - (x + y) * 255 / (kWidth + kHeight - 2));
        }
    return bgr;
}

std::string tiffOf(const std::vector<std::uint8_t>& bgr, std::vector<std::uint8_t> icc,
                   const test::TempDir& folder) {
    test::TiffPicture p;
    p.width = kWidth;
    p.height = kHeight;
    p.iccProfile = std::move(icc);
    for (std::size_t i = 0; i < bgr.size(); i += 3)
        p.values.insert(p.values.end(), {bgr[i + 2], bgr[i + 1], bgr[i]});
    return test::encodeTiff(p, folder);
}

TEST(CliColourProfile, DisplayP3PrintsAsItsSrgbConversion) {
    Cli cli;
    test::TempDir folder;
    const std::vector<std::uint8_t> p3 = test::rgbProfile(test::kP3Primaries);
    const std::vector<std::uint8_t> original = photo();

    // Converted beforehand with Little CMS, as an editor exporting to sRGB would.
    std::vector<std::uint8_t> converted(original.size());
    cmsHPROFILE source = cmsOpenProfileFromMem(p3.data(), cmsUInt32Number(p3.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t =
        cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION);
    cmsDoTransform(t, original.data(), converted.data(), cmsUInt32Number(kWidth * kHeight));
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);

    const auto write = [&](const char* name, const std::string& bytes) {
        const fs::path file = cli.root() / name;
        test::writeBytes(file, bytes);
        return file.string();
    };
    const std::string tagged = write("p3.tif", tiffOf(original, p3, folder));
    const std::string beforehand = write("srgb.tif", tiffOf(converted, {}, folder));
    const std::string untagged = write("untagged.tif", tiffOf(original, {}, folder));
    const auto render = [&](const std::string& picture) {
        const fs::path bmx = cli.root() / "sheet.bmx";
        const Result r = cli.run({"render", picture, "--bmx", bmx.string()});
        EXPECT_EQ(r.code, 0) << r.err;
        return std::make_pair(test::readBytes(bmx), r.err);
    };
    const auto [taggedSheet, taggedErr] = render(tagged);
    EXPECT_TRUE(taggedSheet == render(beforehand).first);
    EXPECT_FALSE(taggedSheet == render(untagged).first);
    EXPECT_EQ(taggedErr, "");

    // The same JPEG with a damaged profile prints as without one, and says so.
    const auto fill = [&](int y, JSAMPLE* row) {
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = original[(std::size_t(y) * kWidth + x) * 3 + 2 - c];
    };
    test::JpegSettings damaged;
    damaged.iccProfile.assign(200, 0xA5);
    const std::string broken =
        write("kaputt.jpg", test::encodeJpeg(kWidth, kHeight, fill, damaged));
    const std::string whole = write("heil.jpg", test::encodeJpeg(kWidth, kHeight, fill));
    const auto [brokenSheet, brokenErr] = render(broken);
    EXPECT_TRUE(brokenSheet == render(whole).first);
    EXPECT_EQ(brokenErr, std::string(intake::msg::kProfileIgnored) +
                             std::string(intake::msg::kReasonSeparator) + broken + "\n");
}

} // namespace
} // namespace kv::cli
