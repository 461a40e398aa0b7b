#include "printer/ppdev_port.h"

#include "printer/printer_messages.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace kv::printer {

namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t kFloatingBus = 0xFF;

// Fills the "%s" places of a message in order.
std::string fill(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The first number of base-addr ("888\t1912\n": base and the ECP base).
std::optional<unsigned long> readBase(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!in || !std::getline(in, text))
        return std::nullopt;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    while (begin != end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    unsigned long base = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, base);
    if (ec != std::errc() || ptr == begin)
        return std::nullopt;
    return base;
}

bool isStandard(unsigned long base) {
    for (std::uint16_t port : kStandardPorts)
        if (port == base)
            return true;
    return false;
}

} // namespace

std::map<std::uint16_t, std::string> mapStandardPorts(const fs::path& procDir,
                                                      const fs::path& deviceDir) {
    struct Found {
        std::string name;
        unsigned long base;
    };
    std::vector<Found> found;
    std::error_code ec;
    for (fs::directory_iterator it(procDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_directory(ec) || name.rfind("parport", 0) != 0)
            continue;
        if (const auto base = readBase(it->path() / "base-addr"))
            found.push_back({name, *base});
    }
    // parport0 before parport1 ... before parport10.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    });

    std::map<std::uint16_t, std::string> ports;
    for (const Found& f : found)
        if (isStandard(f.base) && !ports.contains(static_cast<std::uint16_t>(f.base)))
            ports[static_cast<std::uint16_t>(f.base)] = (deviceDir / f.name).string();
    for (const Found& f : found) {
        if (isStandard(f.base))
            continue;
        for (std::uint16_t port : kStandardPorts) {
            if (!ports.contains(port)) {
                ports[port] = (deviceDir / f.name).string();
                break;
            }
        }
    }
    return ports;
}

PpdevPort::PpdevPort(std::map<std::uint16_t, std::string> ports, DeviceFactory factory,
                     Reporter report)
    : m_factory(std::move(factory)), m_report(std::move(report)) {
    for (auto& [base, path] : ports)
        m_ports[base].path = std::move(path);
}

PpdevPort::~PpdevPort() {
    // Release before close: the driver hands the port back to other users (lp).
    for (auto& [base, port] : m_ports) {
        if (!port.device)
            continue;
        port.device->release();
        port.device->close();
    }
}

void PpdevPort::fail(Port& port, std::string text) {
    port.usable = false;
    m_lastError = std::move(text);
    if (m_report)
        m_report(m_lastError);
}

PpdevDevice* PpdevPort::deviceFor(std::uint16_t base) {
    const auto it = m_ports.find(base);
    if (it == m_ports.end())
        return nullptr;
    Port& port = it->second;
    if (port.tried)
        return port.usable ? port.device.get() : nullptr;
    port.tried = true;
    port.device = m_factory();
    if (!port.device)
        return nullptr;
    if (const int err = port.device->open(port.path)) {
        if (err == EACCES || err == EPERM)
            fail(port, fill(kMsgPpdevNoPermission, {port.path}));
        else
            fail(port, fill(kMsgPpdevOpenFailed, {port.path, std::strerror(err)}));
        port.device.reset();
        return nullptr;
    }
    if (const int err = port.device->claim()) {
        port.device->close();
        port.device.reset();
        fail(port, fill(kMsgPpdevClaimFailed, {port.path, std::strerror(err)}));
        return nullptr;
    }
    port.usable = true;
    return port.device.get();
}

bool PpdevPort::hasPort(std::uint16_t base) {
    return deviceFor(base) != nullptr;
}

std::uint8_t PpdevPort::in(std::uint16_t address) {
    PpdevDevice* device = deviceFor(static_cast<std::uint16_t>(address & ~3u));
    if (!device)
        return kFloatingBus;
    std::uint8_t value = kFloatingBus;
    int err = 0;
    switch (address & 3u) {
    case 0:
        err = device->readData(value);
        break;
    case 1:
        err = device->readStatus(value);
        break;
    case 2:
        err = device->readControl(value);
        break;
    default:
        return kFloatingBus;
    }
    return err ? kFloatingBus : value;
}

void PpdevPort::out(std::uint16_t address, std::uint8_t value) {
    PpdevDevice* device = deviceFor(static_cast<std::uint16_t>(address & ~3u));
    if (!device)
        return;
    // The status register is read-only; a write to it changes nothing on the bus.
    if ((address & 3u) == 0)
        device->writeData(value);
    else if ((address & 3u) == 2)
        device->writeControl(value);
}

} // namespace kv::printer
