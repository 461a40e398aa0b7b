// The virtual printer's state file. Beyond not crashing: whatever parses writes back to a
// text that parses to the same memory, and writing is stable.
#include "printer/printer_memory.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using kv::printer::formatPrinterMemory;
using kv::printer::parsePrinterMemory;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto memory = parsePrinterMemory(text);
    if (!memory)
        return 0;
    const std::string written = formatPrinterMemory(*memory);
    const auto again = parsePrinterMemory(written);
    if (!again || *again != *memory || formatPrinterMemory(*again) != written)
        std::abort();
    return 0;
}
