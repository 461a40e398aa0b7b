// A port library with only the five standard entry points, as another maker's library
// would have them: no LPT_WriteData. Over the virtual printer chosen from the
// environment, like liblptcore.so.
//
// KV_TEST_LOSE_DATA_ACK=n makes the printer lose the acknowledge of data byte n of the
// first write that reaches it, so the tools' failure paths can be run through it.
#include "printer/port_backend.h"
#include "printer/port_core.h"
#include "printer/virtual_printer.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#define KV_PORT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace kv::printer;

struct PortLayer {
    std::unique_ptr<PortBackend> backend;
    std::unique_ptr<PortCore> core;

    PortLayer() {
        backend = makePortBackend(backendOptionsFromEnvironment(), [](std::string_view text) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        });
        core = std::make_unique<PortCore>(backend->io(), backend->hooks());
        const char* lose = std::getenv("KV_TEST_LOSE_DATA_ACK");
        std::size_t index = 0;
        if (lose && backend->virtualPrinter() &&
            std::from_chars(lose, lose + std::strlen(lose), index).ec == std::errc())
            backend->virtualPrinter()->loseAckAt(VirtualPrinter::Stage::DataByte, index);
    }
};

PortCore& portCore() {
    static PortLayer layer;
    return *layer.core;
}

} // namespace

KV_PORT_EXPORT float GetDLLversion() {
    return 0.02f;
}

KV_PORT_EXPORT std::uint32_t Command_set(void* block) {
    return portCore().commandSet(static_cast<std::uint8_t*>(block));
}

KV_PORT_EXPORT std::uint16_t Is_Ready() {
    return portCore().isReady();
}

KV_PORT_EXPORT std::uint16_t LPT_Reset() {
    return portCore().lptReset();
}

KV_PORT_EXPORT std::int32_t InitPort(std::int32_t address) {
    return portCore().initPort(address);
}
