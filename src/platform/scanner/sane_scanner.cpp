#include "platform/scanner/sane_scanner.h"

#include "platform/bitmap.h"
#include "platform/imagelib/image_library.h"
#include "platform/shared_library.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <type_traits>

namespace fs = std::filesystem;

namespace kv::platform::scanner {

namespace {

// libsane is loaded when the scanner is first initialised, not at start: the window
// comes up without it and the libraries it pulls in, and a machine without SANE
// simply has no scanner. Loaded once and kept for the run (its backends are loaded
// by libsane itself and must not go away under an open device).
struct SaneLibrary {
    decltype(&::sane_init) init = nullptr;
    decltype(&::sane_exit) exit = nullptr;
    decltype(&::sane_get_devices) getDevices = nullptr;
    decltype(&::sane_open) open = nullptr;
    decltype(&::sane_close) close = nullptr;
    decltype(&::sane_cancel) cancel = nullptr;
    decltype(&::sane_start) start = nullptr;
    decltype(&::sane_read) read = nullptr;
    decltype(&::sane_get_parameters) getParameters = nullptr;
    decltype(&::sane_control_option) controlOption = nullptr;
    decltype(&::sane_get_option_descriptor) getOptionDescriptor = nullptr;
};

const SaneLibrary* loadSane() {
    static SharedLibrary& library = *new SharedLibrary; // never closed, see above
    static const SaneLibrary sane = [] {
        SaneLibrary s;
        if (!library.open("libsane.so.1"))
            return s;
        const auto bind = [](auto& entry, const char* name) {
            entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(library.symbol(name));
            return entry != nullptr;
        };
        const bool complete =
            bind(s.init, "sane_init") & bind(s.exit, "sane_exit") &
            bind(s.getDevices, "sane_get_devices") & bind(s.open, "sane_open") &
            bind(s.close, "sane_close") & bind(s.cancel, "sane_cancel") &
            bind(s.start, "sane_start") & bind(s.read, "sane_read") &
            bind(s.getParameters, "sane_get_parameters") &
            bind(s.controlOption, "sane_control_option") &
            bind(s.getOptionDescriptor, "sane_get_option_descriptor");
        if (!complete)
            s.init = nullptr; // a half-bound library is no scanner
        return s;
    }();
    return sane.init ? &sane : nullptr;
}

// The loaded library; only called once initialise() succeeded, so it is there.
const SaneLibrary& sane() {
    return *loadSane();
}


// A page put together from its SANE frames (one, or one per colour).
struct PageBuffer {
    int width = 0;
    int height = 0;
    Bitmap24 bitmap;
};

// Closes the device and cancels a running scan whichever way acquire() leaves.
class OpenDevice {
  public:
    explicit OpenDevice(SANE_Handle handle) : m_handle(handle) {}
    ~OpenDevice() {
        sane().cancel(m_handle);
        sane().close(m_handle);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
    SANE_Handle handle() const { return m_handle; }

  private:
    SANE_Handle m_handle;
};

int findOption(SANE_Handle handle, std::string_view name) {
    SANE_Int count = 0;
    if (sane().controlOption(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return -1;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* option = sane().getOptionDescriptor(handle, i);
        if (option && option->name && name == option->name)
            return i;
    }
    return -1;
}

// The settable string values of a string-list option; empty when it has none.
std::vector<std::string> stringChoices(SANE_Handle handle, int index) {
    std::vector<std::string> choices;
    const SANE_Option_Descriptor* option = sane().getOptionDescriptor(handle, index);
    if (!option || option->type != SANE_TYPE_STRING || !SANE_OPTION_IS_SETTABLE(option->cap) ||
        option->constraint_type != SANE_CONSTRAINT_STRING_LIST)
        return choices;
    for (const SANE_String_Const* s = option->constraint.string_list; *s; ++s)
        choices.emplace_back(*s);
    return choices;
}

// Sets a string option to the first offered value `accept` takes; false when
// the option or such a value is missing.
template <typename Accept>
bool chooseString(SANE_Handle handle, std::string_view name, Accept accept) {
    const int index = findOption(handle, name);
    if (index < 0)
        return false;
    for (const std::string& value : stringChoices(handle, index)) {
        if (!accept(value))
            continue;
        const SANE_Option_Descriptor* option = sane().getOptionDescriptor(handle, index);
        std::vector<char> buffer(std::size_t(std::max<SANE_Int>(option->size, 1)), '\0');
        std::strncpy(buffer.data(), value.c_str(), buffer.size() - 1);
        return sane().controlOption(handle, index, SANE_ACTION_SET_VALUE, buffer.data(), nullptr) ==
               SANE_STATUS_GOOD;
    }
    return false;
}

// 8-bit sample `channel` of pixel `x` of one scan line.
std::uint8_t sampleAt(const std::uint8_t* line, const SANE_Parameters& p, int x, int channel) {
    const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const int i = x * channels + channel;
    switch (p.depth) {
    case 1: // line art: a set bit is black
        return (line[i / 8] >> (7 - i % 8)) & 1 ? 0 : 255;
    case 16: {
        std::uint16_t value = 0;
        std::memcpy(&value, line + 2 * i, 2); // host byte order
        return std::uint8_t(value >> 8);
    }
    default:
        return line[i];
    }
}

enum class FrameResult { Ok, Failed, Unsupported };

// Reads one frame and puts its samples into the page's bitmap.
FrameResult readFrame(SANE_Handle handle, PageBuffer& page, bool& lastFrame) {
    SANE_Parameters p{};
    if (sane().getParameters(handle, &p) != SANE_STATUS_GOOD)
        return FrameResult::Failed;
    lastFrame = p.last_frame != SANE_FALSE;
    if ((p.depth != 1 && p.depth != 8 && p.depth != 16) || p.pixels_per_line <= 0 ||
        p.bytes_per_line <= 0)
        return FrameResult::Unsupported;

    std::vector<std::uint8_t> data;
    std::array<SANE_Byte, 32768> chunk{};
    for (;;) {
        SANE_Int length = 0;
        const SANE_Status status = sane().read(handle, chunk.data(), SANE_Int(chunk.size()), &length);
        if (status == SANE_STATUS_EOF)
            break;
        if (status != SANE_STATUS_GOOD)
            return FrameResult::Failed;
        data.insert(data.end(), chunk.begin(), chunk.begin() + length);
    }
    // Hand scanners do not know their length beforehand.
    const int lines = int(data.size() / std::size_t(p.bytes_per_line));
    if (lines <= 0)
        return FrameResult::Failed;

    if (page.bitmap.empty()) {
        page.width = p.pixels_per_line;
        page.height = lines;
        page.bitmap = Bitmap24::make(page.width, page.height);
    } else if (page.width != p.pixels_per_line || page.height != lines) {
        return FrameResult::Failed;
    }

    for (int y = 0; y < lines; ++y) {
        const std::uint8_t* line = data.data() + std::size_t(y) * std::size_t(p.bytes_per_line);
        for (int x = 0; x < page.width; ++x) {
            std::uint8_t* bgr = page.bitmap.at(x, page.height - 1 - y);
            switch (p.format) {
            case SANE_FRAME_RGB:
                bgr[2] = sampleAt(line, p, x, 0);
                bgr[1] = sampleAt(line, p, x, 1);
                bgr[0] = sampleAt(line, p, x, 2);
                break;
            case SANE_FRAME_RED:
                bgr[2] = sampleAt(line, p, x, 0);
                break;
            case SANE_FRAME_GREEN:
                bgr[1] = sampleAt(line, p, x, 0);
                break;
            case SANE_FRAME_BLUE:
                bgr[0] = sampleAt(line, p, x, 0);
                break;
            default: // grey
                bgr[0] = bgr[1] = bgr[2] = sampleAt(line, p, x, 0);
                break;
            }
        }
    }
    return FrameResult::Ok;
}

// Reads the frames of a page started with sane_start until the last one.
FrameResult readPage(SANE_Handle handle, PageBuffer& page) {
    for (;;) {
        bool lastFrame = true;
        const FrameResult result = readFrame(handle, page, lastFrame);
        if (result != FrameResult::Ok || lastFrame)
            return result;
        if (sane().start(handle) != SANE_STATUS_GOOD)
            return FrameResult::Failed;
    }
}

} // namespace

fs::path pageFileName(const fs::path& target, int number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", number);
    return target.parent_path() / (target.stem().string() + digits + ".bmp");
}

bool isFeederSource(std::string_view source) {
    std::string lower(source);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find("feeder") != std::string::npos || lower.find("adf") != std::string::npos;
}

SaneScanner::~SaneScanner() {
    close();
}

bool SaneScanner::initialise() {
    if (m_initialised)
        return true;
    const SaneLibrary* library = loadSane();
    SANE_Int version = 0;
    m_initialised = library && library->init(&version, nullptr) == SANE_STATUS_GOOD;
    return m_initialised;
}

void SaneScanner::close() {
    if (!m_initialised)
        return;
    sane().exit();
    m_initialised = false;
}

std::vector<Device> SaneScanner::devices() const {
    std::vector<Device> result;
    const SANE_Device** list = nullptr;
    if (!m_initialised || sane().getDevices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list)
        return result;
    for (const SANE_Device** d = list; *d; ++d) {
        const auto text = [](SANE_String_Const s) { return std::string(s ? s : ""); };
        result.push_back(
            {text((*d)->name), text((*d)->vendor), text((*d)->model), text((*d)->type)});
    }
    return result;
}

AcquireResult SaneScanner::acquire(const std::string& deviceName, const fs::path& target,
                                   const PageCallback& onPage) {
    if (!m_initialised)
        return AcquireResult::NotInitialised;
    SANE_Handle handle = nullptr;
    if (sane().open(deviceName.c_str(), &handle) != SANE_STATUS_GOOD || !handle)
        return AcquireResult::OpenFailed;

    std::vector<fs::path> written;
    AcquireResult result = AcquireResult::Done;
    {
        OpenDevice device(handle);
        // Missing options are fine: the device then scans as it is set.
        const bool feeder = chooseString(handle, SANE_NAME_SCAN_SOURCE, isFeederSource);
        chooseString(handle, SANE_NAME_SCAN_MODE,
                     [](const std::string& v) { return v == SANE_VALUE_SCAN_MODE_COLOR; });

        int number = 1;
        for (;;) {
            const SANE_Status started = sane().start(handle);
            // An empty feeder ends the acquisition; before the first page it is an error.
            if (started == SANE_STATUS_NO_DOCS && !written.empty())
                break;
            if (started != SANE_STATUS_GOOD) {
                result = AcquireResult::ScanFailed;
                break;
            }
            PageBuffer page;
            const FrameResult read = readPage(handle, page);
            if (read != FrameResult::Ok) {
                result = read == FrameResult::Unsupported ? AcquireResult::Unsupported
                                                          : AcquireResult::ScanFailed;
                break;
            }
            std::error_code ec;
            while (number <= kMaxPageNumber && fs::exists(pageFileName(target, number), ec))
                ++number;
            if (number > kMaxPageNumber) {
                result = AcquireResult::NoFreeName;
                break;
            }
            const fs::path file = pageFileName(target, number++);
            if (!imagelib::WriteBmpFile(file, page.bitmap)) {
                result = AcquireResult::WriteFailed;
                break;
            }
            written.push_back(file);
            if (!feeder)
                break;
        }
    }

    if (onPage) {
        const int total = int(written.size());
        for (int i = 0; i < total; ++i)
            onPage(total - 1 - i, written[std::size_t(i)]);
    }
    return result;
}

} // namespace kv::platform::scanner
