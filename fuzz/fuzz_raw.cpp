#include "decoder_fuzz.h"

// Both ways into a camera raw: looking at it (the preview, when large enough)
// and printing it (the sensor data developed).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::fuzz::fuzzDecoder(kv::platform::imagelib::decodeRaw, data, size);
    return kv::fuzz::fuzzDecoder(kv::platform::imagelib::developRaw, data, size);
}
