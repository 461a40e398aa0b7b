#pragma once

#include "printer/port_io.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kv::printer {

// One /dev/parportN as the ppdev driver offers it. Every call returns 0 or the
// errno value of the failed system call. Register values are the raw register
// bits (parport_pc passes them through unchanged).
class PpdevDevice {
  public:
    virtual ~PpdevDevice() = default;
    virtual int open(const std::string& path) = 0;
    virtual void close() = 0;
    virtual int claim() = 0;
    virtual int release() = 0;
    virtual int readData(std::uint8_t& value) = 0;
    virtual int writeData(std::uint8_t value) = 0;
    virtual int readStatus(std::uint8_t& value) = 0;
    virtual int readControl(std::uint8_t& value) = 0;
    virtual int writeControl(std::uint8_t value) = 0;
};

// The real device: open(2) and the ppdev ioctls.
std::unique_ptr<PpdevDevice> makeSystemPpdevDevice();

// Which /dev/parportN sits at each of the standard addresses, read from
// <procDir>/parportN/base-addr (procDir is normally /proc/sys/dev/parport).
// Ports at other addresses (USB adapters report 0) take the standard addresses
// still free, in the usual order, so a lone adapter becomes LPT1.
std::map<std::uint16_t, std::string> mapStandardPorts(const std::filesystem::path& procDir,
                                                      const std::filesystem::path& deviceDir);

// The parallel-port registers over ppdev. Register address base, base + 1 and
// base + 2 of a mapped port reach its data, status and control registers. A port
// is opened and claimed on its first access and kept until destruction; an
// address with no usable device behaves like an empty ISA slot: writes go
// nowhere and reads give 0xFF.
class PpdevPort : public PortIo {
  public:
    using DeviceFactory = std::function<std::unique_ptr<PpdevDevice>()>;
    using Reporter = std::function<void(std::string_view)>;

    // `report` receives each failure once per port, as a sentence for the user.
    PpdevPort(std::map<std::uint16_t, std::string> ports, DeviceFactory factory, Reporter report);
    ~PpdevPort() override;
    PpdevPort(const PpdevPort&) = delete;
    PpdevPort& operator=(const PpdevPort&) = delete;

    std::uint8_t in(std::uint16_t address) override;
    void out(std::uint16_t address, std::uint8_t value) override;

    // Whether a device answers at this base address (opens it when needed).
    bool hasPort(std::uint16_t base);
    // The last failure reported, empty when none.
    const std::string& lastError() const { return m_lastError; }

  private:
    struct Port {
        std::string path;
        std::unique_ptr<PpdevDevice> device;
        bool tried = false;
        bool usable = false;
    };

    PpdevDevice* deviceFor(std::uint16_t base);
    void fail(Port& port, std::string text);

    std::map<std::uint16_t, Port> m_ports;
    DeviceFactory m_factory;
    Reporter m_report;
    std::string m_lastError;
};

} // namespace kv::printer
