#include "printer/trace_port.h"

#include <cerrno>
#include <system_error>

namespace kv::printer {

TracePort::TracePort(PortIo& inner, const std::filesystem::path& file)
    : m_inner(inner), m_file(std::fopen(file.c_str(), "w")) {
    if (!m_file) {
        m_openError = std::generic_category().message(errno);
        return;
    }
    // Line buffered: one write per line, never half a line in the file.
    std::setvbuf(m_file, nullptr, _IOLBF, 256);
}

TracePort::~TracePort() {
    if (m_file)
        std::fclose(m_file);
}

std::uint8_t TracePort::in(std::uint16_t address) {
    const std::uint8_t value = m_inner.in(address);
    line("in", address, value);
    return value;
}

void TracePort::out(std::uint16_t address, std::uint8_t value) {
    line("out", address, value);
    m_inner.out(address, value);
}

void TracePort::flush() {
    if (m_file)
        std::fflush(m_file);
}

void TracePort::line(const char* op, std::uint16_t address, std::uint8_t value) {
    if (m_file)
        std::fprintf(m_file, "%s 0x%x 0x%02x\n", op, address, value);
}

} // namespace kv::printer
