// The intake's own BMP reader on arbitrary bytes, and the thumbnail it makes of
// what it accepts: never a read outside the file, always a thumbnail that fits.
#include "intake/bmp_thumbnail.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv::intake;
    BmpPicture picture;
    if (readBmpForThumbnail({data, size}, picture) != BmpReadStatus::Ok)
        return 0;
    if (picture.pixels.size() != std::size_t(picture.stride) * std::size_t(picture.height))
        std::abort();
    const kv::platform::Bitmap24 thumb = makeThumbnail(picture);
    const bool portrait = picture.width <= picture.height;
    if (thumb.empty() || thumb.width > (portrait ? 75 : 100) ||
        thumb.height > (portrait ? 100 : 75) ||
        thumb.pixels.size() != std::size_t(thumb.stride()) * std::size_t(thumb.height))
        std::abort();
    return 0;
}
