#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

namespace kv::platform {

// An exclusive advisory lock on a lock file, held while the object lives. Every
// process that changes a folder's files takes it first, so their read-modify-write
// steps never interleave. The lock is the kernel's (flock): it goes with its
// process, so a crashed holder never blocks anyone.
class DirectoryLock {
  public:
    enum class Status {
        Held,        // this object holds the lock
        TimedOut,    // another holder kept it for the whole wait
        Unavailable, // the lock file cannot be created, opened or locked
    };

    // Waits at most `maxWait` for the lock; the file is created when missing. `pump`
    // runs between the looks, so a window that waits keeps painting.
    DirectoryLock(const std::filesystem::path& lockFile, std::chrono::milliseconds maxWait,
                  const std::function<void()>& pump = {});
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    Status status() const { return m_status; }
    bool held() const { return m_status == Status::Held; }

  private:
    int m_fd = -1;
    Status m_status = Status::Unavailable;
};

} // namespace kv::platform
