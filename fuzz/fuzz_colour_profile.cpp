// An embedded colour profile is as hostile as the file around it. The first byte
// picks what the profile is applied to, the rest is the profile: whatever it says,
// the picture keeps its size and comes out whole.
#include "platform/imagelib/colour_profile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv::platform::imagelib;
    if (size < 1)
        return 0;
    DecodedImage image;
    image.iccProfile.assign(data + 1, data + size);
    image.width = 5;
    image.height = 3;
    image.bitsPerPixel = data[0] % 2 ? 8 : 24;
    image.pixels.assign(std::size_t(image.stride()) * image.height, 0x80);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint8_t>(i * 37);
    if (data[0] % 4 >= 2) {
        // CMYK, as the JPEG and TIFF decoders hand it over.
        const SrgbTransform inks = SrgbTransform::describedBy(
            image, data[0] % 4 == 2 ? SourcePixels::Cmyk : SourcePixels::CmykInverted);
        std::uint8_t cmyk[4 * 16], bgr[3 * 16];
        for (std::size_t i = 0; i < sizeof cmyk; ++i)
            cmyk[i] = static_cast<std::uint8_t>(i * 53);
        inks.toBgr(cmyk, bgr, 16);
        return 0;
    }
    const std::size_t before = image.pixels.size();
    convertToSrgb(image);
    if (image.pixels.size() != before || !image.iccProfile.empty())
        std::abort();
    return 0;
}
