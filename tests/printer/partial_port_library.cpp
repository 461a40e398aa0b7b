// A port library with entry points left out, for the binding's messages.
#include <cstdint>

#define KV_PORT_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef KV_WITHOUT_VERSION
KV_PORT_EXPORT float GetDLLversion() {
    return 0.01f;
}
#endif

KV_PORT_EXPORT std::uint32_t Command_set(void*) {
    return 1;
}

KV_PORT_EXPORT std::uint16_t Is_Ready() {
    return 3;
}

#ifndef KV_WITHOUT_RESET
KV_PORT_EXPORT std::uint16_t LPT_Reset() {
    return 0;
}
#endif

KV_PORT_EXPORT std::int32_t InitPort(std::int32_t) {
    return 0;
}
