#pragma once

#include "platform/bitmap.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>

namespace kv::shell {

// The picture the print window shows in the 1-in-1 layout. Read-only from the
// outside: every change goes through assignment or reset() and gets a new
// version, so a window that keeps a converted copy can tell a new picture from
// the old one even when the new buffer has the same address and size. A copy
// keeps the version along with the same pixels.
class DisplayedPicture {
  public:
    DisplayedPicture& operator=(platform::Bitmap24 bitmap) {
        m_bitmap = std::move(bitmap);
        m_version = nextVersion();
        return *this;
    }
    void reset() {
        m_bitmap.reset();
        m_version = nextVersion();
    }
    // Takes the bitmap out (for a caller that may put it back).
    std::optional<platform::Bitmap24> take() {
        std::optional<platform::Bitmap24> out = std::move(m_bitmap);
        reset();
        return out;
    }

    bool has_value() const { return m_bitmap.has_value(); }
    explicit operator bool() const { return has_value(); }
    const platform::Bitmap24& operator*() const { return *m_bitmap; }
    const platform::Bitmap24* operator->() const { return &*m_bitmap; }

    // Different for every picture ever shown in this process (0: never set).
    std::uint64_t version() const { return m_version; }

  private:
    static std::uint64_t nextVersion() {
        static std::atomic<std::uint64_t> counter{0};
        return ++counter;
    }

    std::optional<platform::Bitmap24> m_bitmap;
    std::uint64_t m_version = 0;
};

} // namespace kv::shell
