#include "decoder_fuzz.h"
#include "stream_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::fuzz::fuzzStream(data, size);
    return kv::fuzz::fuzzDecoder(kv::platform::imagelib::decodePng, data, size);
}
