#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The scanner through SANE. Scanning is synchronous; the caller decides on which
// thread it runs and how the pages reach the window.
namespace kv::platform::scanner {

struct Device {
    std::string name; // SANE device name, used to open it
    std::string vendor;
    std::string model;
    std::string type;
};

enum class AcquireResult {
    Done,           // every page was written and reported
    NotInitialised, // initialise() was not called or failed
    OpenFailed,     // the device could not be opened
    ScanFailed,     // SANE reported an error before or during a page
    Unsupported,    // a frame format or depth we cannot turn into 24 bits
    WriteFailed,    // a page file could not be written
    NoFreeName,     // every page number for the chosen name is taken
};

// Pages written so far are reported to this, in order, with how many follow.
using PageCallback = std::function<void(int pagesToCome, const std::filesystem::path& path)>;

// Page files are the chosen name's stem followed by a three-digit number.
inline constexpr int kMaxPageNumber = 999;

// The page file for `number`: "<folder>/<stem><number:03>.bmp".
std::filesystem::path pageFileName(const std::filesystem::path& target, int number);

// True for a "source" option value that names a document feeder.
bool isFeederSource(std::string_view source);

// Owns SANE's initialisation: one instance for the run. Destruction closes it.
class SaneScanner {
  public:
    SaneScanner() = default;
    ~SaneScanner();
    SaneScanner(const SaneScanner&) = delete;
    SaneScanner& operator=(const SaneScanner&) = delete;

    bool initialise();
    void close();
    bool isInitialised() const { return m_initialised; }

    // The devices SANE knows now; empty when not initialised.
    std::vector<Device> devices() const;

    // Scans every page of `deviceName` (all pages of a document feeder, which is
    // chosen when the device offers one; else one page) in colour, writing each as
    // a 24-bit BMP beside `target` under the next free page number. Existing files
    // are never overwritten. After the scan, `onPage` gets each written page with
    // the exact number of pages still to come, even when a later page failed.
    AcquireResult acquire(const std::string& deviceName, const std::filesystem::path& target,
                          const PageCallback& onPage);

  private:
    bool m_initialised = false;
};

} // namespace kv::platform::scanner
