#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::platform {

// The printer data buffer: one page of committed read/write memory, page-aligned,
// held for the whole run.
class PrintBuffer {
  public:
    static constexpr std::size_t kSize = 4096;

    struct ReleaseOutcome {
        bool decommitted = true; // the pages were given back to the system
        bool released = true;    // the address range was freed
    };

    PrintBuffer() = default;
    ~PrintBuffer();
    PrintBuffer(const PrintBuffer&) = delete;
    PrintBuffer& operator=(const PrintBuffer&) = delete;

    // Maps the buffer. Returns false when the memory cannot be had.
    bool reserve();
    // Gives the pages back, then frees the range. Nothing to do when not held.
    ReleaseOutcome release();

    bool held() const { return m_data != nullptr; }
    std::uint8_t* data() { return m_data; }

  private:
    std::uint8_t* m_data = nullptr;
};

} // namespace kv::platform
