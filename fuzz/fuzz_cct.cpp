#include "render/colour_pipeline.h"
#include "render/colour_tables.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

// Input: a colour-matching table (*.cct). A refused file leaves the table alone; an
// accepted one holds the file's rows top-down and can be applied to a picture
// holding every component value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kv::render;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    ColourMatchingTable table;
    const CctLoad result = parseColourMatchingTable(bytes, table);
    if (result != CctLoad::Loaded) {
        if (!table.lattice.empty() || cctMessage(result).empty())
            std::abort();
        return 0;
    }
    if (table.lattice.size() != kLatticeBytes || size < kCctHeaderBytes + kLatticeBytes)
        std::abort();
    const std::size_t offset =
        data[10] | data[11] << 8 | data[12] << 16 | std::size_t(data[13]) << 24;
    for (int row = 0; row < kLatticeRows; ++row)
        if (std::memcmp(table.lattice.data() + std::size_t(row) * kLatticeRowBytes,
                        data + offset + std::size_t(kLatticeRows - 1 - row) * kLatticeRowBytes,
                        kLatticeRowBytes) != 0)
            std::abort();

    static PrintImage image;
    for (int v = 0; v < 256; ++v) {
        std::uint8_t* p = image.pixel(0, v);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(255 - v);
        p[2] = static_cast<std::uint8_t>(v * 37);
    }
    applyColourMatching(table, image, 256, 1);
    return 0;
}
