#include "platform/scratch_folder.h"

#include "platform/leftovers.h"
#include "platform/paths.h"

#include <random>
#include <string>

namespace kv::platform {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const fs::path candidate =
            driveC() / ("kvcli-" + ownerTag() + "-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
            m_path = candidate / "";
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    if (!m_path.empty())
        fs::remove_all(m_path, ec);
}

} // namespace kv::platform
