#include "albums/album_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kv::albums::AlbumList list = kv::albums::parseAlbumList(bytes);
    if (list.names.size() > 100)
        std::abort();
    for (const std::string& name : list.names)
        if (!kv::albums::isSafeFileStem(name))
            std::abort();
    // What is read back from a written list is the same list.
    if (kv::albums::parseAlbumList(kv::albums::formatAlbumList(list.names)).names != list.names &&
        !list.names.empty())
        std::abort();
    return 0;
}
