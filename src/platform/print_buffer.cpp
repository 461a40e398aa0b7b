#include "platform/print_buffer.h"

#include <sys/mman.h>

namespace kv::platform {

PrintBuffer::~PrintBuffer() {
    release();
}

bool PrintBuffer::reserve() {
    if (m_data)
        return true;
    void* p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return false;
    m_data = static_cast<std::uint8_t*>(p);
    return true;
}

PrintBuffer::ReleaseOutcome PrintBuffer::release() {
    ReleaseOutcome outcome;
    if (!m_data)
        return outcome;
    // Decommit first, as the buffer was committed: the pages go back before the range.
    outcome.decommitted = madvise(m_data, kSize, MADV_DONTNEED) == 0;
    outcome.released = munmap(m_data, kSize) == 0;
    m_data = nullptr;
    return outcome;
}

} // namespace kv::platform
