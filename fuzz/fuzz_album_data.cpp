#include "albums/album_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kv::albums::DataFile file = kv::albums::parseDataFile(bytes);
    std::string rewritten;
    for (const kv::albums::ThumbnailRecord& record : file.records) {
        if (record.pixels.size() > kv::albums::kMaxThumbnailBytes)
            std::abort();
        const kv::platform::Bitmap24 thumbnail = kv::albums::recordThumbnail(record);
        kv::albums::appendRecord(rewritten, kv::platform::turnBitmap(thumbnail, 1),
                                 record.rotation + 1);
    }
    if (kv::albums::parseDataFile(rewritten).records.size() != file.records.size())
        std::abort();
    return 0;
}
