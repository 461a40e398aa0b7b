#pragma once

#include "printer/port_io.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace kv::printer {

// Passes every register operation on to another port and writes one line per operation
// to a file, in order: "in 0x379 0xc8", "out 0x37a 0x01". Each line reaches the file whole
// as it happens, so a run that is killed keeps its trace up to the last operation.
class TracePort : public PortIo {
  public:
    TracePort(PortIo& inner, const std::filesystem::path& file);
    ~TracePort() override;
    TracePort(const TracePort&) = delete;
    TracePort& operator=(const TracePort&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    // Why the file could not be opened (the system's words); empty when it is open.
    const std::string& openError() const { return m_openError; }
    std::uint8_t in(std::uint16_t address) override;
    void out(std::uint16_t address, std::uint8_t value) override;
    void flush();

  private:
    void line(const char* op, std::uint16_t address, std::uint8_t value);

    PortIo& m_inner;
    std::FILE* m_file = nullptr;
    std::string m_openError;
};

} // namespace kv::printer
