// PNG, WebP, HEIF and AVIF go into the temporary copy row by row (or from the
// codec's own picture), a camera raw as its embedded preview read from the file,
// instead of through a whole 24-bit picture of ours: the copy,
// its thumbnail and what the user is told must stay byte for byte those of the
// whole-picture path (decoded, converted to 24 bits, written, read back).
#include "imagelib/heif_file.h"
#include "imagelib/quadrant_picture.h"
#include "intake/bmp_thumbnail.h"
#include "intake/picture_intake.h"
#include "intake/temp_bmp.h"
#include "platform/recording_ui.h"
#include "support/dng_file.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <lcms2.h>
#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

// Busy samples at 0..maxValue that still compress a little: any misplaced row,
// column or channel shows.
int sampleAt(int x, int y, int c, int maxValue) {
    std::uint32_t v = std::uint32_t(x) * 2654435761u ^ std::uint32_t(y) * 40503u ^ std::uint32_t(c);
    v = (v ^ (v >> 13)) * 0x5BD1E995u;
    const int noise = int((v ^ (v >> 15)) % 64);
    return ((x * 3 + y * 2 + c * 85) % 192 + noise) * maxValue / 255;
}

struct PngSpec {
    int width = 800;
    int height = 700; // stride 2400: the copy is written in two bands
    int depth = 8;
    int colourType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<std::uint8_t> icc;
    double gamma = 0;
};

void appendTo(png_structp png, png_bytep data, std::size_t size) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), size);
}

std::string pngFile(const PngSpec& s) {
    std::string file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test file";
        return {};
    }
    png_set_write_fn(png, &file, appendTo, nullptr);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    std::vector<std::uint8_t> paletteAlpha;
    if (s.colourType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < (1 << s.depth); ++i) {
            palette.push_back({png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 91)});
            paletteAlpha.push_back(png_byte(255 - i * 17));
        }
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        png_set_tRNS(png, info, paletteAlpha.data(), int(paletteAlpha.size()), nullptr);
    }
    if (!s.icc.empty())
        png_set_iCCP(png, info, "test", 0, s.icc.data(), png_uint_32(s.icc.size()));
    if (s.gamma > 0)
        png_set_gAMA(png, info, s.gamma);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    const int maxValue = (1 << s.depth) - 1;
    std::vector<std::vector<std::uint8_t>> rows(
        std::size_t(s.height),
        std::vector<std::uint8_t>((std::size_t(s.width) * channels * s.depth + 7) / 8));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < s.height; ++y) {
        auto& row = rows[std::size_t(y)];
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int v = sampleAt(x, y, c, maxValue);
                const std::size_t bit = (std::size_t(x) * channels + c) * s.depth;
                if (s.depth == 16) {
                    row[bit / 8] = std::uint8_t(v >> 8);
                    row[bit / 8 + 1] = std::uint8_t(v);
                } else {
                    row[bit / 8] |= std::uint8_t(v << (8 - s.depth - bit % 8));
                }
            }
        pointers.push_back(row.data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

// `file` claiming width x height in its IHDR, with the chunk's CRC made to fit.
std::string claimingSize(std::string file, std::uint32_t width, std::uint32_t height) {
    for (int i = 0; i < 4; ++i) {
        file[std::size_t(16 + i)] = char(width >> (24 - 8 * i));
        file[std::size_t(20 + i)] = char(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.data() + 12), 17);
    for (int i = 0; i < 4; ++i)
        file[std::size_t(29 + i)] = char(crc >> (24 - 8 * i));
    return file;
}

enum class Coding { Lossy, Lossless };
using Rgba = std::function<std::array<int, 4>(int x, int y)>;

std::array<int, 4> busy(int x, int y) {
    return {sampleAt(x, y, 0, 255), sampleAt(x, y, 1, 255), sampleAt(x, y, 2, 255), 255};
}
std::array<int, 4> busyTranslucent(int x, int y) {
    auto p = busy(x, y);
    p[3] = (x / 7 + y / 5) % 4 * 85;
    return p;
}
std::array<int, 4> twoColours(int x, int y) {
    return sampleAt(x, y, 0, 255) % 2 ? std::array<int, 4>{250, 240, 10, 255}
                                      : std::array<int, 4>{20, 30, 200, 255};
}

std::string webpFile(const Rgba& pixel, bool alpha, Coding coding, int width = 800,
                     int height = 700) {
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            samples.insert(samples.end(), p.begin(), p.begin() + (alpha ? 4 : 3));
        }
    std::uint8_t* out = nullptr;
    const int stride = width * (alpha ? 4 : 3);
    std::size_t size = 0;
    if (coding == Coding::Lossless)
        size = alpha ? WebPEncodeLosslessRGBA(samples.data(), width, height, stride, &out)
                     : WebPEncodeLosslessRGB(samples.data(), width, height, stride, &out);
    else
        size = alpha ? WebPEncodeRGBA(samples.data(), width, height, stride, 85, &out)
                     : WebPEncodeRGB(samples.data(), width, height, stride, 85, &out);
    std::string file(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return file;
}

std::string withIccp(const std::string& still, const std::vector<std::uint8_t>& profile) {
    const WebPData image{reinterpret_cast<const std::uint8_t*>(still.data()), still.size()};
    WebPMux* mux = WebPMuxCreate(&image, 1);
    const WebPData icc{profile.data(), profile.size()};
    WebPMuxSetChunk(mux, "ICCP", &icc, 1);
    WebPData out;
    WebPDataInit(&out);
    WebPMuxAssemble(mux, &out);
    std::string file(reinterpret_cast<const char*>(out.bytes), out.size);
    WebPDataClear(&out);
    WebPMuxDelete(mux);
    return file;
}

std::string jpegFile(const std::vector<std::uint8_t>& icc) {
    return test::encodeJpeg(800, 700,
                            [](int y, JSAMPLE* row) {
                                for (int x = 0; x < 800; ++x)
                                    for (int c = 0; c < 3; ++c)
                                        row[x * 3 + c] = JSAMPLE(sampleAt(x, y, c, 255));
                            },
                            {.quality = 90, .iccProfile = icc});
}

// `jpeg` with an Exif APP1 segment whose IFD0 holds only the Orientation tag.
std::string turned(const std::string& jpeg, int orientation) {
    std::string exif("\xFF\xE1\0\x22"
                     "Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0"
                     "\0\0\0\0\0\0\0\0",
                     36);
    exif[28] = char(orientation);
    return jpeg.substr(0, 2) + exif + jpeg.substr(2);
}

// An RGB profile of one perceptual table whose black is not sRGB's: the rows a
// cut-off file never delivered come out through it other than black.
std::vector<std::uint8_t> liftedBlackProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetColorSpace(profile, cmsSigRgbData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 3, 3, nullptr);
    cmsStageSampleCLut16bit(
        table,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void*) -> cmsInt32Number {
            // Lab in its 16-bit encoding: L from 20 to 100, a and b from the channels.
            out[0] = cmsUInt16Number(0x3333 + (in[0] + in[1] + in[2]) / 3 * 0.8);
            out[1] = cmsUInt16Number(0x8080 + (int(in[0]) - int(in[1])) / 8);
            out[2] = cmsUInt16Number(0x8080 + (int(in[1]) - int(in[2])) / 8);
            return TRUE;
        },
        nullptr, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, table);
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

std::string cut(const std::string& file, double kept) {
    return file.substr(0, std::size_t(double(file.size()) * kept));
}

std::string flipped(std::string file, std::size_t at) {
    file[at] = char(~file[at]);
    return file;
}

enum class Outcome { Whole, Incomplete, ProfileIgnored, Refused };

struct Case {
    std::string name;
    std::string bytes;
    Outcome outcome;
};

TEST(StreamedFormats, CopyThumbnailAndNoticesAreThoseOfTheWholePicture) {
    const auto adobe = test::rgbProfile(test::kAdobePrimaries, 2.2);
    const std::vector<std::uint8_t> damagedProfile(200, 0x5A);
    const std::string rgbPng = pngFile({});
    const std::string interlacedPng = pngFile({.interlaced = true});
    const std::string lossy = webpFile(busy, false, Coding::Lossy);
    const std::string lossless = webpFile(busy, false, Coding::Lossless);
    const std::string lossyAlpha = webpFile(busyTranslucent, true, Coding::Lossy);
    const auto lifted = liftedBlackProfile();
    const std::string profilePng = pngFile({.icc = adobe});
    const std::string profileWebp = withIccp(lossy, adobe);
    const Rgba translucentQuads = [](int x, int y) {
        return (x + y) % 2 ? std::array<int, 4>{255, 0, 0, 128} : busy(x, y);
    };
    const test::Quads heifAlpha{
        test::Rgba{255, 0, 0, 255}, {0, 0, 255, 0}, {0, 255, 0, 128}, {255, 255, 0, 64}};
    const test::Quads tenBit{test::Rgba{1022, 3, 769, 1023},
                             {3, 769, 1022, 1023},
                             {769, 1022, 3, 1023},
                             {1023, 0, 512, 1023}};
    using test::dng::dngFile;
    const std::string dng = dngFile({.jpegPreview = true});
    std::vector<Case> cases{
        {"rgb.png", rgbPng, Outcome::Whole},
        {"rgba.png", pngFile({.colourType = PNG_COLOR_TYPE_RGB_ALPHA}), Outcome::Whole},
        {"rgb16.png", pngFile({.depth = 16}), Outcome::Whole},
        {"greyalpha16.png", pngFile({.depth = 16, .colourType = PNG_COLOR_TYPE_GRAY_ALPHA}),
         Outcome::Whole},
        {"grey2.png", pngFile({.depth = 2, .colourType = PNG_COLOR_TYPE_GRAY}), Outcome::Whole},
        {"palette.png", pngFile({.depth = 4, .colourType = PNG_COLOR_TYPE_PALETTE}),
         Outcome::Whole},
        {"interlaced.png", interlacedPng, Outcome::Whole},
        {"interlacedalpha.png",
         pngFile({.colourType = PNG_COLOR_TYPE_RGB_ALPHA, .interlaced = true}), Outcome::Whole},
        {"interlacedcut.png", cut(interlacedPng, 0.8), Outcome::Incomplete},
        {"profile.png", profilePng, Outcome::Whole},
        {"gamma.png", pngFile({.gamma = 1.0}), Outcome::Whole},
        {"cut.png", cut(rgbPng, 0.6), Outcome::Incomplete},
        {"cutalpha.png", cut(pngFile({.colourType = PNG_COLOR_TYPE_RGB_ALPHA}), 0.3),
         Outcome::Incomplete},
        {"cutprofile.png", cut(profilePng, 0.5), Outcome::Incomplete},
        {"cutliftedblack.png", cut(pngFile({.icc = lifted}), 0.5), Outcome::Incomplete},
        {"bilevel.png", pngFile({.depth = 1, .colourType = PNG_COLOR_TYPE_GRAY}), Outcome::Refused},
        {"damaged.png", flipped(rgbPng, rgbPng.size() / 2), Outcome::Refused},
        {"huge.png", claimingSize(rgbPng, 20000, 20000), Outcome::Refused},
        {"lossy.webp", lossy, Outcome::Whole},
        {"lossless.webp", lossless, Outcome::Whole},
        {"lossyalpha.webp", lossyAlpha, Outcome::Whole},
        // Several huge pages of decoded rows, given back as the picture goes on.
        {"large.webp", webpFile(busyTranslucent, true, Coding::Lossy, 2000, 1500), Outcome::Whole},
        {"largelossless.webp", webpFile(busy, false, Coding::Lossless, 1800, 1200), Outcome::Whole},
        {"losslessalpha.webp", webpFile(translucentQuads, true, Coding::Lossless), Outcome::Whole},
        {"profile.webp", profileWebp, Outcome::Whole},
        {"badprofile.webp", withIccp(lossless, damagedProfile), Outcome::ProfileIgnored},
        {"cut.webp", cut(lossy, 0.5), Outcome::Incomplete},
        {"cutlossless.webp", cut(lossless, 0.4), Outcome::Incomplete},
        {"cutalpha.webp", cut(lossyAlpha, 0.7), Outcome::Incomplete},
        {"cutprofile.webp", cut(profileWebp, 0.5), Outcome::Incomplete},
        {"cutliftedblack.webp", cut(withIccp(lossless, lifted), 0.5), Outcome::Incomplete},
        {"twocolours.webp", webpFile(twoColours, false, Coding::Lossless), Outcome::Refused},
        {"cuttwocolours.webp", cut(webpFile(twoColours, false, Coding::Lossless), 0.5),
         Outcome::Incomplete},
        {"cutliftedblack.jpg", cut(jpegFile(lifted), 0.5), Outcome::Incomplete},
        {"cutturnedliftedblack.jpg", cut(turned(jpegFile(lifted), 6), 0.5), Outcome::Incomplete},
        {"rgb.heic", test::heifFile({{.width = 96, .height = 64}}), Outcome::Whole},
        {"alpha.heic", test::heifFile({{.quads = heifAlpha, .alpha = true}}), Outcome::Whole},
        {"tenbit.heic", test::heifFile({{.quads = tenBit, .depth = 10}}), Outcome::Whole},
        {"profile.heic", test::heifFile({{.icc = test::rgbProfile(test::kP3Primaries)}}),
         Outcome::Whole},
        {"rotated.heic",
         test::heifFile({{.width = 40, .orientation = heif_orientation_rotate_90_cw}}),
         Outcome::Whole},
        {"rgb.avif", test::heifFile({{.codec = heif_compression_AV1}}), Outcome::Whole},
        {"alpha.avif",
         test::heifFile({{.codec = heif_compression_AV1, .quads = heifAlpha, .alpha = true}}),
         Outcome::Whole},
        {"jpeg.dng", dng, Outcome::Whole},
        {"turned-right.dng", dngFile({.orientation = 6, .jpegPreview = true, .previewExif = 3}),
         Outcome::Whole},
        {"turned-left.dng", dngFile({.orientation = 8, .jpegPreview = true}), Outcome::Whole},
        {"large-preview.dng",
         dngFile({.width = 1200,
                  .height = 900,
                  .previewWidth = 1030,
                  .previewHeight = 770,
                  .jpegPreview = true}),
         Outcome::Whole},
        // No JPEG preview, or one too small: developed as before.
        {"rgb-preview.dng", dngFile({.orientation = 6}), Outcome::Whole},
        {"small-preview.dng",
         dngFile({.previewWidth = 160, .previewHeight = 120, .jpegPreview = true}), Outcome::Whole},
        {"sensor-cut.dng", dng.substr(0, dng.size() - 5000), Outcome::Whole},
        {"p3-preview.dng",
         dngFile({.jpegPreview = true, .previewIcc = test::rgbProfile(test::kP3Primaries)}),
         Outcome::Whole},
        // Cut before its sensor data: damaged, whole preview or not.
        {"cut.dng", dng.substr(0, dng.size() - 704 * 528 * 2), Outcome::Refused},
    };

    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = dir / c.name;
        writeBytes(source, c.bytes);

        // The whole-picture path: decoded, written, read back.
        const fs::path whole = dir / ("whole-" + c.name + ".bmp");
        const Conversion before = convertPicture(source, whole);
        std::vector<std::string> told;
        if (before.code != 1)
            told.push_back(refusalMessage(before, source.string()));
        if (before.incomplete)
            told.push_back(incompleteMessage(source.string()));
        if (before.code == 1 && before.profileIgnored)
            told.push_back(profileIgnoredMessage(source.string()));
        EXPECT_EQ(before.code == 1 ? (before.incomplete       ? Outcome::Incomplete
                                      : before.profileIgnored ? Outcome::ProfileIgnored
                                                              : Outcome::Whole)
                                   : Outcome::Refused,
                  c.outcome);

        shell::AppState state;
        platform::RecordingUi ui;
        test::TempDir home;
        albums::AlbumStore store(state.albums, ui, home.path());
        ASSERT_TRUE(store.readAlbumList("My_Album"));
        state.albums.pictures[0].displayName = c.name;
        const fs::path temp = dir / "kvtemp";
        const AddResult added = addStagedPicture(state, store, ui, dir.path(), temp);
        EXPECT_EQ(ui.texts(), told);
        if (before.code != 1) {
            EXPECT_EQ(added, AddResult::NotAdded);
            // Nothing of a refused picture stays behind.
            EXPECT_TRUE(!fs::exists(temp) || fs::is_empty(temp));
            fs::remove_all(temp);
            continue;
        }
        ASSERT_EQ(added, AddResult::Added);
        const std::string wholeBytes = readBytes(whole);
        const std::vector<std::uint8_t> fileBytes(wholeBytes.begin(), wholeBytes.end());
        BmpPicture picture;
        ASSERT_EQ(readBmpForThumbnail(fileBytes, picture), BmpReadStatus::Ok);
        const platform::Bitmap24 thumbnail = makeThumbnail(picture);
        EXPECT_TRUE(readBytes(temporaryBmpPath(temp, source.string(), c.name)) == wholeBytes);
        const albums::PictureRow& row = state.albums.pictures[0];
        EXPECT_EQ(row.thumbnail.width, thumbnail.width);
        EXPECT_EQ(row.thumbnail.height, thumbnail.height);
        EXPECT_TRUE(row.thumbnail.pixels == thumbnail.pixels);
        EXPECT_EQ(state.statusText, c.name + " [" + std::to_string(picture.width) + "X" +
                                        std::to_string(picture.height) + "]");
        EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
        fs::remove_all(temp);
    }
}

} // namespace
} // namespace kv::intake
