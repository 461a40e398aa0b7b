// liblptcore.so: the port library's C entry points. One register backend per
// process, made on first use from the environment (see port_backend.h).
#include "printer/port_backend.h"
#include "printer/port_core.h"
#include "printer/port_version.h"
#include "printer/virtual_printer.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#define KV_PORT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace kv::printer;

void reportToStderr(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

struct PortLayer {
    std::unique_ptr<PortBackend> backend;
    std::unique_ptr<PortCore> core;

    PortLayer() {
        const BackendOptions options = backendOptionsFromEnvironment();
        if (!options.warning.empty())
            reportToStderr(options.warning);
        backend = makePortBackend(options, reportToStderr);
        core = std::make_unique<PortCore>(backend->io(), backend->hooks());
    }
};

PortLayer& portLayer() {
    static PortLayer layer;
    return layer;
}

PortCore& portCore() {
    return *portLayer().core;
}

} // namespace

KV_PORT_EXPORT float GetDLLversion() {
    return kPortLayerVersion;
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

// The select and release sequences: the program used to write these to the ports
// itself; here they must reach the same backend as Command_set. The program does
// without them when a port library lacks this entry point.
KV_PORT_EXPORT void LPT_WriteData(std::uint16_t port, std::uint8_t value) {
    portCore().writeData(port, value);
}

// The proof of the pages that follow, handed over by the job that prints them: the
// virtual printer shows a page in the job's colours. A real port has no use for it.
KV_PORT_EXPORT void LPT_SetPageProof(KvPageProofFunction function, void* context) {
    if (VirtualPrinter* printer = portLayer().backend->virtualPrinter())
        handPageProof(*printer, function, context);
}
