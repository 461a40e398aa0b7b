#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return kv::fuzz::fuzzDecoder(kv::platform::imagelib::decodeHeif, data, size);
}
