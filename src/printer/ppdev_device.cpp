// The only file that talks to the ppdev driver.
#include "printer/ppdev_port.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kv::printer {

namespace {

class SystemPpdevDevice : public PpdevDevice {
  public:
    ~SystemPpdevDevice() override { close(); }

    int open(const std::string& path) override {
        close();
        m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        return m_fd < 0 ? errno : 0;
    }
    void close() override {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    int claim() override { return call(PPCLAIM); }
    int release() override { return call(PPRELEASE); }
    int readData(std::uint8_t& value) override { return call(PPRDATA, &value); }
    int writeData(std::uint8_t value) override { return call(PPWDATA, &value); }
    int readStatus(std::uint8_t& value) override { return call(PPRSTATUS, &value); }
    int readControl(std::uint8_t& value) override { return call(PPRCONTROL, &value); }
    int writeControl(std::uint8_t value) override { return call(PPWCONTROL, &value); }

  private:
    int call(unsigned long request, std::uint8_t* value = nullptr) {
        if (m_fd < 0)
            return EBADF;
        const int rc = value ? ::ioctl(m_fd, request, value) : ::ioctl(m_fd, request);
        return rc < 0 ? errno : 0;
    }

    int m_fd = -1;
};

} // namespace

std::unique_ptr<PpdevDevice> makeSystemPpdevDevice() {
    return std::make_unique<SystemPpdevDevice>();
}

} // namespace kv::printer
