#include "decoder_fuzz.h"

// Every way into a camera raw: looking at it (the preview, when large enough) and
// printing it (the sensor data developed at half size, and in blocks for a sheet).
namespace {

kv::platform::imagelib::DecodeResult developForSheet(std::span<const std::uint8_t> bytes,
                                                     kv::platform::imagelib::DecodedImage& out) {
    const kv::platform::imagelib::NeededExtent sheet = [](int, int) {
        return kv::platform::imagelib::DecodeExtent{7, 5};
    };
    return kv::platform::imagelib::developRawAtLeast(bytes, out, sheet);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::fuzz::fuzzDecoder(kv::platform::imagelib::decodeRaw, data, size);
    kv::fuzz::fuzzDecoder(developForSheet, data, size);
    return kv::fuzz::fuzzDecoder(kv::platform::imagelib::developRaw, data, size);
}
