#include "platform/imagelib/image_library.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

namespace kv::platform::imagelib {

PictureFileRead readPictureFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes,
                                std::uint64_t maxBytes) {
    bytes.clear();
    // Without O_NONBLOCK, opening a named pipe waits for a writer that may never
    // come; with it the open returns at once and fstat tells what the file is.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return PictureFileRead::CannotOpen;
    struct stat st {};
    PictureFileRead result = PictureFileRead::Ok;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = PictureFileRead::CannotOpen;
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        result = PictureFileRead::TooBig;
    } else {
        try {
            bytes.resize(static_cast<std::size_t>(st.st_size));
        } catch (const std::bad_alloc&) {
            result = PictureFileRead::TooBig;
        }
    }
    // A file that shrinks while it is read keeps what was there; one that grows
    // is read up to the size it had.
    std::size_t got = 0;
    while (result == PictureFileRead::Ok && got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result = PictureFileRead::CannotOpen;
        else if (n == 0)
            break;
        else
            got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (result != PictureFileRead::Ok) {
        bytes.clear();
        bytes.shrink_to_fit();
        return result;
    }
    bytes.resize(got);
    return PictureFileRead::Ok;
}

} // namespace kv::platform::imagelib
