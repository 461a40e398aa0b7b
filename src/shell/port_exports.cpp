// The program's own exports of the port protocol (Command_set, Is_Ready,
// GetDLLversion), for tools that drive the printer through the running program's
// binary. They run on a register backend of their own, made on first use from
// the same environment as the port library's but a separate instance from it:
// the program itself always talks to the printer through the loaded library.
#include "printer/port_backend.h"
#include "printer/port_protocol.h"
#include "printer/port_version.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#define KV_PROGRAM_EXPORT extern "C" __attribute__((visibility("default"), used))

namespace {

kv::printer::PortIo& exportedPort() {
    static const std::unique_ptr<kv::printer::PortBackend> backend = kv::printer::makePortBackend(
        kv::printer::backendOptionsFromEnvironment(), [](std::string_view text) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
        });
    return backend->io();
}

} // namespace

KV_PROGRAM_EXPORT float GetDLLversion() {
    return kv::printer::kPortLayerVersion;
}

KV_PROGRAM_EXPORT std::uint32_t Command_set(void* block) {
    return kv::printer::commandSet(exportedPort(), static_cast<std::uint8_t*>(block),
                                   kv::printer::kLpt1);
}

// Only ready (0) or not ready (1): the reasons are the port library's business.
KV_PROGRAM_EXPORT std::uint16_t Is_Ready() {
    return kv::printer::isReady(exportedPort(), kv::printer::kLpt1) == 0 ? 0 : 1;
}
