#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::platform {

// An exclusive advisory lock on one printer port, shared by every process that talks
// to that port. It is the kernel's (flock), so it dies with its holder. Taking it never
// blocks: the caller polls and decides how long to wait.
//
// Where the lock lives decides who shares it. A real port's lock is its device node
// (/dev/parportN): exactly the users who may open the port (group lp) share it, and
// there is no file anyone else could make or hold in its place. The virtual printer's
// lock is a file in its user's private folder, mode 0600. A lock is never opened
// through a link and never has its mode changed.
class PortLock {
  public:
    enum class Attempt {
        Held,        // this object holds the lock now
        InUse,       // another holder has it
        Unavailable, // the lock cannot be created, opened or locked
    };
    enum class Kind {
        OwnFile, // a regular file of ours, made when missing
        Device,  // an existing device node, never made
    };

    explicit PortLock(std::filesystem::path file, Kind kind = Kind::OwnFile);
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    Attempt tryLock();
    void unlock();
    bool held() const { return m_held; }
    const std::filesystem::path& file() const { return m_file; }
    Kind kind() const { return m_kind; }

    // The user's private folder for lock files: $XDG_RUNTIME_DIR/kvphoto, else
    // ~/.cache/kvphoto/run (made with mode 0700); empty when it is unfit.
    static std::filesystem::path defaultFolder();
    // "kvphoto-port-<identity>.lock"; characters unfit for a file name become '_'.
    static std::string fileName(std::string_view identity);
    // Where the lock of the port named `identity` lives: for "parportN" (the first of
    // several joined by '+') the device node in `deviceDir`, else a file in
    // defaultFolder(). `problem` tells (in German) why there is none.
    struct Place {
        std::filesystem::path file;
        Kind kind = Kind::OwnFile;
        std::string problem;
    };
    static Place placeFor(std::string_view identity,
                          const std::filesystem::path& deviceDir = "/dev");

  private:
    std::filesystem::path m_file;
    Kind m_kind;
    int m_fd = -1;
    bool m_held = false;
};

} // namespace kv::platform
