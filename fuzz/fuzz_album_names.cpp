#include "albums/album_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kv::albums::NameFile file = kv::albums::parseNameFile(bytes);
    if (file.entries.size() > 99)
        std::abort();
    const kv::albums::NameFile again =
        kv::albums::parseNameFile(kv::albums::formatNameFile(file.entries));
    if (again.entries.size() != file.entries.size())
        std::abort();
    return 0;
}
