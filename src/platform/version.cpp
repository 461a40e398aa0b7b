#include "platform/version.h"

namespace kv::platform {

// KV_VERSION is set for this one file only, so a new version rebuilds nothing else.
std::string_view programVersion() {
    return KV_VERSION;
}

} // namespace kv::platform
