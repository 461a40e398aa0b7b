#pragma once

#include <filesystem>

namespace kv::platform {

// A run's own temporary folder on drive C:, beside the program's kvtemp/: a running
// program empties and removes kvtemp/ itself, and the temporary files of this run
// must not outlive it. Named "kvcli-PID-N", so a later start removes it when this
// process died without doing so.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

} // namespace kv::platform
