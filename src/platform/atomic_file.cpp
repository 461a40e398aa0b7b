#include "platform/atomic_file.h"

#include "platform/leftovers.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

namespace fs = std::filesystem;

namespace {

// Creates ".<name>.tmp-PID-XXXXXX" beside the target. Unlike mkstemp it asks for mode
// 0666, so a new file gets the usual permissions under the user's umask.
int createTemp(const fs::path& folder, const std::string& name, std::string& tempPath) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix)
            c = kChars[random() % (sizeof kChars - 1)];
        tempPath = (folder / ("." + name + ".tmp-" + ownerTag() + "-" + suffix)).string();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Where a write to `path` lands: a link is written through, so the link itself
// stays in place. Empty when the path names no file, its link cannot be resolved, or
// what is there is no regular file: a rename would put a file in place of a device
// node, a pipe or a folder of somebody's.
fs::path writeTarget(const fs::path& path) {
    if (path.empty() || !path.has_filename())
        return {};
    std::error_code ec;
    fs::path resolved = path;
    if (fs::is_symlink(path, ec)) {
        resolved = fs::weakly_canonical(path, ec);
        if (ec)
            return {};
    }
    const fs::file_status status = fs::status(resolved, ec);
    if (fs::exists(status) && !fs::is_regular_file(status))
        return {};
    return resolved;
}

fs::path folderOf(const fs::path& target) {
    return target.parent_path().empty() ? fs::path(".") : target.parent_path();
}

// A file written in place of another keeps that one's permissions; none there, nothing to do.
bool takeModeOf(int fd, const fs::path& like) {
    struct stat old {};
    return like.empty() || ::stat(like.c_str(), &old) != 0 || ::fchmod(fd, old.st_mode & 0777) == 0;
}

} // namespace

// A failure here does not undo the renames; they only may not survive a power cut.
void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeFileFlushed(const fs::path& path, std::string_view bytes, const fs::path& modeOf) {
    if (path.empty() || !path.has_filename())
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = takeModeOf(fd, modeOf) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

bool writeFileAtomic(const fs::path& path, std::string_view bytes) {
    const fs::path target = writeTarget(path);
    if (target.empty())
        return false;
    const fs::path folder = folderOf(target);
    std::string temp;
    const int fd = createTemp(folder, target.filename().string(), temp);
    if (fd < 0)
        return false;

    bool ok = takeModeOf(fd, target) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    syncFolder(folder);
    // A write of an earlier run cut off at its rename left its temporary file here.
    removeStaleTemporaries(target);
    return true;
}

namespace {

// The file's blocks taken at once: a file system without room says so before a
// byte is written, and the writes then fill blocks already there, which costs
// ext4 a third less than allocating them one by one. Where the file system
// cannot reserve, the file is only sized.
bool reserve(int fd, std::uint64_t size) {
    if (size > 0 && ::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0)
        return true;
    if (size > 0 && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINTR)
        return false;
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

} // namespace

UnsyncedFile::~UnsyncedFile() {
    discard();
}

void UnsyncedFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_fd = -1;
    m_temp.clear();
}

bool UnsyncedFile::open(const fs::path& path, std::uint64_t size) {
    discard();
    m_target = writeTarget(path);
    if (m_target.empty())
        return false;
    m_fd = createTemp(folderOf(m_target), m_target.filename().string(), m_temp);
    if (m_fd < 0) {
        m_temp.clear();
        return false;
    }
    const bool ok = takeModeOf(m_fd, m_target) && reserve(m_fd, size);
    if (!ok)
        discard();
    return ok;
}

bool UnsyncedFile::writeAt(std::uint64_t offset, const void* bytes, std::size_t count) {
    if (m_fd < 0)
        return false;
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = ::pwrite(m_fd, p, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool UnsyncedFile::commit() {
    if (m_fd < 0)
        return false;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        discard();
        return false;
    }
    m_temp.clear();
    return true;
}

bool readFile(const fs::path& path, std::string& bytes) {
    // Non-blocking: opening a pipe must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    // Only regular files: a folder cannot be read and a pipe would block forever.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    bytes = std::move(out);
    return true;
}

} // namespace kv::platform
