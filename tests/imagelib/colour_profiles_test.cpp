// Pictures that describe their colours come out of the library in sRGB: profiles
// made here with Little CMS, embedded in JPEG and TIFF files made here, must give
// what Little CMS's own transform gives; sRGB and untagged pictures keep their
// bytes; a damaged profile is left aside and noted.
#include "platform/imagelib/colour_profile.h"
#include "platform/imagelib/image_library.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

using namespace kv::platform::imagelib;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Patch = std::array<int, 4>; // RGB (fourth unused) or CMYK

const cmsCIExyY kD65{0.3127, 0.3290, 1};
const cmsCIExyY kD50{0.3457, 0.3585, 1};

Bytes saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

cmsToneCurve* srgbCurve() {
    const cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(nullptr, 4, params);
}

Bytes matrixShaper(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return saved(profile);
}

Bytes adobeRgb() {
    return matrixShaper(kD65, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                        cmsBuildGamma(nullptr, 563.0 / 256));
}
Bytes displayP3() {
    return matrixShaper(kD65, {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                        srgbCurve());
}
Bytes greyGamma18() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    cmsHPROFILE profile = cmsCreateGrayProfile(&kD65, curve);
    cmsFreeToneCurve(curve);
    return saved(profile);
}
Bytes proPhoto() {
    return matrixShaper(kD50, {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
                        cmsBuildGamma(nullptr, 1.8));
}
// sRGB as camera and operating-system makers write it: a 1024-entry curve table.
Bytes tabulatedSrgb() {
    std::vector<cmsUInt16Number> table(1024);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const double v = double(i) / 1023;
        const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        table[i] = cmsUInt16Number(std::lround(linear * 65535));
    }
    return matrixShaper(kD65, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}},
                        cmsBuildTabulatedToneCurve16(nullptr, 1024, table.data()));
}

// A CMYK printing profile with a perceptual table: impure inks, each taking a
// little of the others' light, on a slightly dull paper, far from a plain mix.
int inkSampler(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
    const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0;
    const double paper = 0.95 * (1 - 0.9 * in[3] / 65535.0);
    const double rgb[3] = {std::pow(paper * (1 - c) * (1 - 0.15 * m) * (1 - 0.05 * y), 2.2),
                           std::pow(paper * (1 - 0.2 * c) * (1 - m) * (1 - 0.1 * y), 2.2),
                           std::pow(paper * (1 - 0.05 * c) * (1 - 0.3 * m) * (1 - y), 2.2)};
    const cmsCIEXYZ xyz{0.4361 * rgb[0] + 0.3851 * rgb[1] + 0.1431 * rgb[2],
                        0.2225 * rgb[0] + 0.7169 * rgb[1] + 0.0606 * rgb[2],
                        0.0139 * rgb[0] + 0.0971 * rgb[1] + 0.7141 * rgb[2]};
    cmsCIELab lab;
    cmsXYZ2Lab(nullptr, &lab, &xyz);
    cmsFloat2LabEncoded(out, &lab);
    return TRUE;
}

Bytes cmykProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, inkSampler, nullptr, 0);
    // The table between identity curves: the layout an ICC v4 AToB table stores.
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(lut, cmsAT_END, clut);
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    return saved(profile);
}

// An Exif APP1 body naming a colour space (0xA001) and an interoperability index.
Bytes exif(std::uint16_t colourSpace, const char* index) {
    const std::uint8_t le[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                               // IFD0 at 8: the Exif IFD at 26
                               1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,
                               // Exif IFD at 26: colour space, the interoperability IFD at 56
                               2, 0, 0x01, 0xA0, 3, 0, 1, 0, 0, 0, std::uint8_t(colourSpace),
                               std::uint8_t(colourSpace >> 8), 0, 0, 0x05, 0xA0, 4, 0, 1, 0, 0, 0,
                               56, 0, 0, 0, 0, 0, 0, 0,
                               // Interoperability IFD at 56
                               1, 0, 1, 0, 2, 0, 4, 0, 0, 0, std::uint8_t(index[0]),
                               std::uint8_t(index[1]), std::uint8_t(index[2]), 0, 0, 0, 0, 0};
    return Bytes(std::begin(le), std::end(le));
}

const std::vector<Patch> kRgbPatches{
    {200, 30, 30},   {30, 200, 30},   {30, 30, 200},  {255, 255, 255}, {0, 0, 0},
    {128, 128, 128}, {230, 180, 150}, {20, 120, 220}, {250, 220, 30},  {90, 40, 130}};
const std::vector<Patch> kCmykPatches{{0, 0, 0, 0},       {255, 0, 0, 0},   {0, 255, 0, 0},
                                      {0, 0, 255, 0},     {0, 0, 0, 255},   {40, 80, 120, 20},
                                      {128, 128, 128, 0}, {10, 200, 60, 90}};
constexpr int kPatchSide = 16;

enum class Container { Jpeg, Tiff };

struct Source {
    const std::vector<Patch>* patches = &kRgbPatches;
    bool cmyk = false;
    bool adobeMarker = true;
    Bytes icc;
    Bytes app1;
    bool grey = false; // one sample: the first of each patch
};

// The patches side by side, kPatchSide pixels square in a JPEG, one pixel each in a TIFF.
std::string file(Container container, const Source& s, const kv::test::TempDir& folder) {
    const int channels = s.cmyk ? 4 : s.grey ? 1 : 3;
    const int count = static_cast<int>(s.patches->size());
    if (container == Container::Tiff) {
        kv::test::TiffPicture p;
        p.width = count;
        p.samples = channels;
        p.photometric = s.cmyk   ? PHOTOMETRIC_SEPARATED
                        : s.grey ? PHOTOMETRIC_MINISBLACK
                                 : PHOTOMETRIC_RGB;
        p.iccProfile = s.icc;
        for (const Patch& patch : *s.patches)
            p.values.insert(p.values.end(), patch.begin(), patch.begin() + channels);
        return kv::test::encodeTiff(p, folder);
    }
    kv::test::JpegSettings settings{channels, 100, false, s.app1, s.icc, s.adobeMarker};
    return kv::test::encodeJpeg(
        count * kPatchSide, kPatchSide,
        [&](int, JSAMPLE* row) {
            for (int x = 0; x < count * kPatchSide; ++x)
                for (int c = 0; c < channels; ++c) {
                    const int v = (*s.patches)[std::size_t(x / kPatchSide)][std::size_t(c)];
                    // Adobe's CMYK is stored inverted, as its APP14 segment says.
                    row[x * channels + c] = JSAMPLE(s.cmyk && s.adobeMarker ? 255 - v : v);
                }
        },
        settings);
}

DecodedImage decoded(const std::string& bytes) {
    DecodedImage image;
    EXPECT_EQ(
        decodeImage({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, image),
        DecodeResult::Ok);
    return image;
}

// The middle pixel of patch i as RGB 0..255.
std::array<double, 3> patchColour(const DecodedImage& image, Container container, int i) {
    const int side = container == Container::Jpeg ? kPatchSide : 1;
    const int x = i * side + side / 2, y = side / 2; // y from the top
    const std::uint8_t* p =
        image.pixels.data() + std::size_t(image.height - 1 - y) * image.stride() + x * 3;
    return {double(p[2]), double(p[1]), double(p[0])};
}

cmsCIELab labOf(const std::array<double, 3>& rgb255) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM t =
        cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    const double in[3] = {rgb255[0] / 255, rgb255[1] / 255, rgb255[2] / 255};
    cmsCIELab out;
    cmsDoTransform(t, in, &out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return out;
}

double deltaE(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    const cmsCIELab la = labOf(a), lb = labOf(b);
    return cmsCIE2000DeltaE(&la, &lb, 1, 1, 1);
}

// What Little CMS itself makes of a patch in `profile`, with the intent the
// library promises (perceptual for table profiles, else relative colorimetric with
// black-point compensation), at 16 bits: its integer transforms, as the library's,
// keep paper white white.
std::array<double, 3> lcmsReference(const Bytes& profileBytes, const Patch& patch, bool cmyk) {
    cmsHPROFILE profile =
        cmsOpenProfileFromMem(profileBytes.data(), cmsUInt32Number(profileBytes.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const bool perceptual = cmsIsCLUT(profile, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
    const bool grey = cmsGetColorSpace(profile) == cmsSigGrayData;
    cmsHTRANSFORM t = cmsCreateTransform(
        profile,
        cmyk   ? TYPE_CMYK_16
        : grey ? TYPE_GRAY_16
               : TYPE_RGB_16,
        srgb, TYPE_RGB_16, perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
        perceptual ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION);
    cmsUInt16Number in[4], out[3];
    for (int c = 0; c < 4; ++c)
        in[c] = cmsUInt16Number(patch[std::size_t(c)] * 257);
    cmsDoTransform(t, in, out, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(profile);
    return {out[0] / 257.0, out[1] / 257.0, out[2] / 257.0};
}

struct Tagged {
    const char* name;
    Container container;
    Source source;
    Bytes reference; // the profile the colours are meant in
};

} // namespace

TEST(ColourProfiles, PatchesDecodeToWhatLittleCmsGives) {
    const Bytes adobe = adobeRgb(), p3 = displayP3(), pro = proPhoto(), inks = cmykProfile(),
                grey = greyGamma18();
    const std::vector<Tagged> cases{
        {"jpeg adobe rgb", Container::Jpeg, {.icc = adobe}, adobe},
        {"jpeg display p3", Container::Jpeg, {.icc = p3}, p3},
        {"jpeg prophoto", Container::Jpeg, {.icc = pro}, pro},
        {"jpeg adobe rgb by exif", Container::Jpeg, {.app1 = exif(0xFFFF, "R03")}, adobe},
        {"tiff adobe rgb", Container::Tiff, {.icc = adobe}, adobe},
        {"tiff display p3", Container::Tiff, {.icc = p3}, p3},
        {"tiff prophoto", Container::Tiff, {.icc = pro}, pro},
        {"jpeg cmyk",
         Container::Jpeg,
         {.patches = &kCmykPatches, .cmyk = true, .adobeMarker = false, .icc = inks},
         inks},
        {"jpeg adobe inverted cmyk",
         Container::Jpeg,
         {.patches = &kCmykPatches, .cmyk = true, .icc = inks},
         inks},
        {"tiff cmyk", Container::Tiff, {.patches = &kCmykPatches, .cmyk = true, .icc = inks}, inks},
        {"jpeg grey", Container::Jpeg, {.icc = grey, .grey = true}, grey},
        {"tiff grey", Container::Tiff, {.icc = grey, .grey = true}, grey},
    };
    kv::test::TempDir folder;
    for (const Tagged& c : cases) {
        SCOPED_TRACE(c.name);
        Source untagged = c.source;
        untagged.icc.clear();
        untagged.app1.clear();
        const DecodedImage tagged = decoded(file(c.container, c.source, folder));
        const DecodedImage plain = decoded(file(c.container, untagged, folder));
        ASSERT_EQ(tagged.bitsPerPixel, 24);
        EXPECT_FALSE(tagged.profileIgnored);
        double largestShift = 0;
        for (std::size_t i = 0; i < c.source.patches->size(); ++i) {
            const auto colour = patchColour(tagged, c.container, int(i));
            // RGB is compared with the very samples the untagged file decodes to, which
            // takes JPEG's rounding out of the comparison; inks with what was written.
            Patch stored = (*c.source.patches)[i];
            if (!c.source.cmyk) {
                const auto p = patchColour(plain, c.container, int(i));
                stored = {int(p[0]), int(p[1]), int(p[2]), 0};
            }
            const double error = deltaE(colour, lcmsReference(c.reference, stored, c.source.cmyk));
            EXPECT_LE(error, 1.0) << "patch " << i;
            largestShift =
                std::max(largestShift, deltaE(colour, patchColour(plain, c.container, int(i))));
        }
        // The profile was applied, not ignored.
        EXPECT_GT(largestShift, 3.0);
    }
}

TEST(ColourProfiles, SrgbAndUntaggedPicturesKeepTheirBytes) {
    const struct {
        const char* name;
        Source source;
    } cases[] = {
        {"little cms srgb", {.icc = saved(cmsCreate_sRGBProfile())}},
        {"tabulated srgb", {.icc = tabulatedSrgb()}},
        {"exif srgb", {.app1 = exif(1, "R98")}},
        {"exif uncalibrated without R03", {.app1 = exif(0xFFFF, "R98")}},
    };
    kv::test::TempDir folder;
    for (const Container container : {Container::Jpeg, Container::Tiff})
        for (const auto& c : cases) {
            if (container == Container::Tiff && !c.source.app1.empty())
                continue;
            SCOPED_TRACE(c.name);
            const DecodedImage tagged = decoded(file(container, c.source, folder));
            const DecodedImage plain = decoded(file(container, {}, folder));
            EXPECT_EQ(tagged.pixels, plain.pixels);
            EXPECT_FALSE(tagged.profileIgnored);
        }

    // PNG's way: sRGB primaries with gamma 1/2.2 mean sRGB; the same gamma on other
    // primaries does not.
    DecodedImage described;
    described.width = 2;
    described.height = 1;
    described.bitsPerPixel = 24;
    described.pixels = {10, 100, 200, 250, 30, 60, 0, 0};
    const std::vector<std::uint8_t> before = described.pixels;
    described.chromaticities =
        DecodedImage::Chromaticities{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    described.encodingGamma = 0.45455;
    convertToSrgb(described);
    EXPECT_EQ(described.pixels, before);
    described.chromaticities =
        DecodedImage::Chromaticities{0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06};
    described.encodingGamma = 0.45455;
    convertToSrgb(described);
    EXPECT_NE(described.pixels, before);
    EXPECT_FALSE(described.profileIgnored);
}

TEST(ColourProfiles, DamagedProfilesAreLeftAsideAndNoted) {
    Bytes truncated = adobeRgb();
    truncated.resize(truncated.size() / 2);
    Bytes garbage(600, 0x5A);
    // Valid in itself, but for inks: it cannot describe RGB pixels.
    const Bytes inks = cmykProfile();
    const struct {
        const char* name;
        Bytes icc;
    } cases[] = {{"garbage", garbage}, {"cut in half", truncated}, {"cmyk on rgb", inks}};
    kv::test::TempDir folder;
    for (const Container container : {Container::Jpeg, Container::Tiff})
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            const DecodedImage tagged = decoded(file(container, {.icc = c.icc}, folder));
            const DecodedImage plain = decoded(file(container, {}, folder));
            EXPECT_EQ(tagged.pixels, plain.pixels);
            EXPECT_TRUE(tagged.profileIgnored);
            EXPECT_FALSE(plain.profileIgnored);
        }

    // A JPEG whose profile announces two chunks but holds one.
    std::string jpeg = file(Container::Jpeg, {}, folder);
    std::string chunk = std::string("\xFF\xE2\x00\x00ICC_PROFILE\0\x01\x02", 18) + "abcdefgh";
    chunk[2] = char((chunk.size() - 2) >> 8);
    chunk[3] = char(chunk.size() - 2);
    const DecodedImage broken = decoded(jpeg.substr(0, 2) + chunk + jpeg.substr(2));
    EXPECT_EQ(broken.pixels, decoded(jpeg).pixels);
    EXPECT_TRUE(broken.profileIgnored);
}
