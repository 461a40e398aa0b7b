#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::platform {

// An exclusive advisory lock on one printer port, shared by every process that talks
// to that port. It is the kernel's (flock on a lock file), so it dies with its holder.
// Taking it never blocks: the caller polls and decides how long to wait.
class PortLock {
  public:
    enum class Attempt {
        Held,        // this object holds the lock now
        InUse,       // another holder has it
        Unavailable, // the lock file cannot be created, opened or locked
    };

    explicit PortLock(std::filesystem::path file);
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    Attempt tryLock();
    void unlock();
    bool held() const { return m_held; }
    const std::filesystem::path& file() const { return m_file; }

    // $XDG_RUNTIME_DIR when set, else /tmp.
    static std::filesystem::path defaultFolder();
    // "kvphoto-port-<identity>.lock"; characters unfit for a file name become '_'.
    static std::string fileName(std::string_view identity);

  private:
    std::filesystem::path m_file;
    int m_fd = -1;
    bool m_held = false;
};

} // namespace kv::platform
