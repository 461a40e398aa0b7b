#pragma once

namespace kv::printer {

// What GetDLLversion reports, from the library and from the program's exports.
inline constexpr float kPortLayerVersion = 0.03f;

} // namespace kv::printer
