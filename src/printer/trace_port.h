#pragma once

#include "printer/port_io.h"

#include <cstdio>
#include <filesystem>

namespace kv::printer {

// Passes every register operation on to another port and writes one line per operation
// to a file, in order: "in 0x379 0xc8", "out 0x37a 0x01". Lines are buffered and reach
// the file at flush() or destruction (a flush per line would slow a raster line down
// many times over).
class TracePort : public PortIo {
  public:
    TracePort(PortIo& inner, const std::filesystem::path& file);
    ~TracePort() override;
    TracePort(const TracePort&) = delete;
    TracePort& operator=(const TracePort&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    std::uint8_t in(std::uint16_t address) override;
    void out(std::uint16_t address, std::uint8_t value) override;
    void flush();

  private:
    void line(const char* op, std::uint16_t address, std::uint8_t value);

    PortIo& m_inner;
    std::FILE* m_file = nullptr;
};

} // namespace kv::printer
