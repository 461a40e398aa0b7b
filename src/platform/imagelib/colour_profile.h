#pragma once

#include "platform/imagelib/decoded_image.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Bringing a decoded picture's colours into sRGB with Little CMS 2, from what its
// file says of them: an embedded ICC profile, PNG-style primaries and gamma, or
// Adobe RGB named by EXIF. A picture that says nothing, or says sRGB, is left
// exactly as decoded.
namespace kv::platform::imagelib {

// How the pixels handed to an SrgbTransform are laid out.
enum class SourcePixels {
    Bgr,         // blue, green, red bytes, as the decoders deliver them
    Cmyk,        // cyan, magenta, yellow, black; 0 is no ink
    CmykInverted // the same with 255 as no ink (Adobe's CMYK JPEGs)
};

// One transform from a picture's colours into sRGB, for decoders that convert
// row by row (CMYK, and JPEG written out as it is decoded).
class SrgbTransform {
  public:
    SrgbTransform();
    SrgbTransform(SrgbTransform&&) noexcept;
    SrgbTransform& operator=(SrgbTransform&&) noexcept;
    ~SrgbTransform();

    // The transform for what `image` says of its colours (its iccProfile and the
    // other descriptions in DecodedImage). Not active when it says nothing, says
    // sRGB, or its profile cannot be used; damaged() tells the last.
    static SrgbTransform describedBy(const DecodedImage& image, SourcePixels source);

    bool active() const { return m_transform != nullptr; }
    bool damaged() const { return m_damaged; }
    // `count` pixels of the source layout into blue, green, red bytes; `out` may
    // be `in` for Bgr.
    void toBgr(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const;

  private:
    struct Handle;
    std::unique_ptr<Handle> m_transform;
    bool m_damaged = false;
};

// Converts a decoded 24-bit or palette picture into sRGB as its description asks,
// then forgets the description (the pixels are sRGB now). A profile that cannot
// be used leaves the pixels as they are and sets image.profileIgnored.
void convertToSrgb(DecodedImage& image);

} // namespace kv::platform::imagelib
