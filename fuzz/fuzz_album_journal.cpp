#include "albums/album_files.h"
#include "albums/album_journal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto steps = kv::albums::parseJournal(bytes);
    if (!steps)
        return 0;
    // Recovery acts on these names: none may lead out of the program directory.
    for (const kv::albums::JournalStep& step : *steps)
        if (!kv::albums::isSafeFileStem(step.file))
            std::abort();
    if (kv::albums::parseJournal(kv::albums::formatJournal(*steps)) != steps)
        std::abort();
    return 0;
}
