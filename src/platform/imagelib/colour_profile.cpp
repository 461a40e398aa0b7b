// Colour profiles through Little CMS 2. The rendering intent is perceptual where
// the file's profile brings perceptual tables (its maker's own gamut mapping),
// else relative colorimetric with black-point compensation, so that the darkest
// tone of the source stays the darkest of sRGB and no shadow detail is clipped.
#include "platform/imagelib/colour_profile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include <lcms2.h>

namespace kv::platform::imagelib {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

// Grey profiles on pictures the decoders hand over as BGR: the first of the three
// equal bytes is read, the other two skipped.
constexpr cmsUInt32Number kGreyInBgr =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

Curve srgbCurve() {
    // IEC 61966-2.1: Y = ((X + 0.055) / 1.055)^2.4 above 0.04045, X / 12.92 below.
    const cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return Curve(cmsBuildParametricToneCurve(nullptr, 4, params));
}

double srgbEncode(double linear) {
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// Whether a tone curve is sRGB's to within a quarter of an 8-bit level at every
// level: converting through it would change no byte.
bool isSrgbCurve(const cmsToneCurve* curve) {
    if (!curve)
        return false;
    for (int v = 0; v < 256; ++v) {
        const double linear =
            cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(v / 255.0));
        if (std::abs(srgbEncode(std::clamp(linear, 0.0, 1.0)) * 255 - v) > 0.25)
            return false;
    }
    return true;
}

bool closeXyz(const cmsCIEXYZ* a, const cmsCIEXYZ* b) {
    constexpr double kTolerance = 0.002; // vendors' sRGB profiles round their colorants
    return a && b && std::abs(a->X - b->X) < kTolerance && std::abs(a->Y - b->Y) < kTolerance &&
           std::abs(a->Z - b->Z) < kTolerance;
}

const cmsToneCurve* curveTag(cmsHPROFILE profile, cmsTagSignature tag) {
    return static_cast<const cmsToneCurve*>(cmsReadTag(profile, tag));
}

const cmsCIEXYZ* xyzTag(cmsHPROFILE profile, cmsTagSignature tag) {
    return static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tag));
}

// sRGB by what it does, whoever made it: matrix and curves, no tables, sRGB's
// colorants and sRGB's curve in every channel (or, for grey, sRGB's curve).
bool actsAsSrgb(cmsHPROFILE profile) {
    if (cmsIsCLUT(profile, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT) ||
        cmsIsCLUT(profile, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT))
        return false;
    if (cmsGetColorSpace(profile) == cmsSigGrayData)
        return isSrgbCurve(curveTag(profile, cmsSigGrayTRCTag));
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile))
        return false;
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb)
        return false;
    for (const cmsTagSignature tag :
         {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag})
        if (!closeXyz(xyzTag(profile, tag), xyzTag(srgb.get(), tag)))
            return false;
    return isSrgbCurve(curveTag(profile, cmsSigRedTRCTag)) &&
           isSrgbCurve(curveTag(profile, cmsSigGreenTRCTag)) &&
           isSrgbCurve(curveTag(profile, cmsSigBlueTRCTag));
}

Profile rgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, Curve curve) {
    if (!curve)
        return nullptr;
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

bool near(double a, double b) {
    return std::abs(a - b) < 0.001;
}

enum class Description { Srgb, Unusable, Other };

// PNG's way of describing colours, or EXIF's Adobe RGB, as a profile in `out`.
// Primaries of sRGB with a gamma of about 1/2.2 are what writers put beside sRGB
// pictures that lack the sRGB chunk: those stay sRGB, byte for byte.
Description describedProfile(const DecodedImage& image, Profile& out) {
    if (image.adobeRgb) {
        out = rgbProfile(kD65, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                         Curve(cmsBuildGamma(nullptr, 563.0 / 256.0)));
        return out ? Description::Other : Description::Unusable;
    }
    const auto& c = image.chromaticities;
    const double gamma = image.encodingGamma;
    const bool srgbPrimaries =
        !c || (near(c->whiteX, kD65.x) && near(c->whiteY, kD65.y) && near(c->redX, 0.64) &&
               near(c->redY, 0.33) && near(c->greenX, 0.30) && near(c->greenY, 0.60) &&
               near(c->blueX, 0.15) && near(c->blueY, 0.06));
    if (srgbPrimaries && (gamma == 0 || (gamma > 0.45 && gamma < 0.46)))
        return Description::Srgb;
    if ((c && (c->whiteY <= 0 || c->redY <= 0 || c->greenY <= 0 || c->blueY <= 0)) || gamma < 0 ||
        gamma > 10)
        return Description::Unusable;
    const cmsCIExyY white = c ? cmsCIExyY{c->whiteX, c->whiteY, 1} : kD65;
    const cmsCIExyYTRIPLE primaries =
        c ? cmsCIExyYTRIPLE{{c->redX, c->redY, 1},
                            {c->greenX, c->greenY, 1},
                            {c->blueX, c->blueY, 1}}
          : cmsCIExyYTRIPLE{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    out = rgbProfile(white, primaries,
                     gamma > 0 ? Curve(cmsBuildGamma(nullptr, 1 / gamma)) : srgbCurve());
    return out ? Description::Other : Description::Unusable;
}

bool describesColours(const DecodedImage& image) {
    return !image.iccProfile.empty() || image.chromaticities || image.encodingGamma != 0 ||
           image.adobeRgb;
}

} // namespace

struct SrgbTransform::Handle {
    cmsHTRANSFORM transform = nullptr;
    ~Handle() { cmsDeleteTransform(transform); }
};

SrgbTransform::SrgbTransform() = default;
SrgbTransform::SrgbTransform(SrgbTransform&&) noexcept = default;
SrgbTransform& SrgbTransform::operator=(SrgbTransform&&) noexcept = default;
SrgbTransform::~SrgbTransform() = default;

SrgbTransform SrgbTransform::describedBy(const DecodedImage& image, SourcePixels source) {
    SrgbTransform result;
    if (!describesColours(image))
        return result;
    Profile profile;
    if (!image.iccProfile.empty()) {
        profile.reset(cmsOpenProfileFromMem(image.iccProfile.data(),
                                            static_cast<cmsUInt32Number>(image.iccProfile.size())));
        if (!profile) {
            result.m_damaged = true;
            return result;
        }
        if (source == SourcePixels::Bgr && actsAsSrgb(profile.get()))
            return result;
    } else {
        const Description description = describedProfile(image, profile);
        if (description != Description::Other) {
            result.m_damaged = description == Description::Unusable;
            return result;
        }
    }

    // As a number: a file may name a colour space the enumeration does not hold.
    const std::uint32_t space = cmsGetColorSpace(profile.get());
    cmsUInt32Number input = 0;
    if (source == SourcePixels::Bgr && space == std::uint32_t{cmsSigRgbData})
        input = TYPE_BGR_8;
    else if (source == SourcePixels::Bgr && space == std::uint32_t{cmsSigGrayData})
        input = kGreyInBgr;
    else if (source != SourcePixels::Bgr && space == std::uint32_t{cmsSigCmykData})
        input = source == SourcePixels::Cmyk ? TYPE_CMYK_8 : TYPE_CMYK_8_REV;
    if (input == 0) {
        // A profile for other pixels than the file's cannot be applied.
        result.m_damaged = true;
        return result;
    }
    const Profile srgb(cmsCreate_sRGBProfile());
    const bool perceptual = cmsIsCLUT(profile.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
    cmsHTRANSFORM transform =
        srgb ? cmsCreateTransform(profile.get(), input, srgb.get(), TYPE_BGR_8,
                                  perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
                                  perceptual ? 0 : cmsFLAGS_BLACKPOINTCOMPENSATION)
             : nullptr;
    if (!transform) {
        result.m_damaged = true;
        return result;
    }
    result.m_transform = std::make_unique<Handle>();
    result.m_transform->transform = transform;
    return result;
}

void SrgbTransform::toBgr(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const {
    if (m_transform && count > 0)
        cmsDoTransform(m_transform->transform, in, out, static_cast<cmsUInt32Number>(count));
}

void convertToSrgb(DecodedImage& image) {
    if (!describesColours(image))
        return;
    const SrgbTransform transform = SrgbTransform::describedBy(image, SourcePixels::Bgr);
    image.iccProfile = {};
    image.chromaticities.reset();
    image.encodingGamma = 0;
    image.adobeRgb = false;
    if (transform.damaged())
        image.profileIgnored = true;
    if (!transform.active())
        return;
    if (image.bitsPerPixel == 24) {
        for (int y = 0; y < image.height; ++y) {
            std::uint8_t* row = image.pixels.data() + std::size_t(y) * std::size_t(image.stride());
            transform.toBgr(row, row, std::size_t(image.width));
        }
        return;
    }
    // Palette pictures: the colours are in the palette.
    std::uint8_t entries[256 * 3];
    for (int i = 0; i < 256; ++i)
        std::copy_n(image.palette.data() + i * 4, 3, entries + i * 3);
    transform.toBgr(entries, entries, 256);
    for (int i = 0; i < 256; ++i)
        std::copy_n(entries + i * 3, 3, image.palette.data() + i * 4);
}

} // namespace kv::platform::imagelib
