#include "printer/virtual_printer.h"

#include "platform/atomic_file.h"
#include "platform/png_encoder.h"
#include "printer/head_map.h"
#include "printer/port_io.h"
#include "printer/printer_messages.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kv::printer {

namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t kKeyword = 0x24;

// Commands as main and sub byte.
constexpr std::uint8_t kReadValue = 0xFF;
constexpr std::uint8_t kReadStored = 0xFB;
constexpr std::uint8_t kWriteValue = 0xFE;
constexpr std::uint8_t kStartPage = 0x08;
constexpr std::uint8_t kRasterLine = 0x00;
constexpr std::uint8_t kEndPage = 0x02;

// Parameters with a meaning of their own.
constexpr std::uint8_t kWarmUpState = 0x06;
constexpr std::uint8_t kPrintPair = 0x0C;
constexpr std::uint8_t kPcbTemperatureParam = 0x1B;
constexpr std::uint8_t kHeaterTemperatureParam = 0x1D;
constexpr std::uint8_t kLedTableParam = 0x20;

constexpr std::uint8_t kWarming = 1;
constexpr std::uint8_t kWarm = 3;
constexpr std::uint8_t kPageComplete = 0x00;

bool writableStored(std::uint8_t parameter) {
    return (parameter >= PrinterMemory::kPwmRed && parameter <= PrinterMemory::kPageOffset) ||
           (parameter >= PrinterMemory::kVoltage && parameter <= PrinterMemory::kLedMask2);
}

std::string pageName(std::uint32_t number, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "page-%04u.%s", number, extension);
    return name;
}

std::uint8_t previewValue(int level) {
    return static_cast<std::uint8_t>(std::min(255, (level + 2) / 4));
}

// The line's words, lower case, one space apart.
std::string normalised(std::string_view line) {
    std::string words;
    bool space = false;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            space = !words.empty();
            continue;
        }
        if (space)
            words += ' ';
        space = false;
        words += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return words;
}

// "<word> N" with N a whole number of milliseconds.
std::optional<std::uint32_t> millisecondsAfter(std::string_view words, std::string_view word) {
    if (words.size() <= word.size() + 1 || words.substr(0, word.size()) != word ||
        words[word.size()] != ' ')
        return std::nullopt;
    const std::string_view number = words.substr(word.size() + 1);
    std::uint32_t ms = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), ms);
    if (ec != std::errc() || ptr != number.data() + number.size())
        return std::nullopt;
    return ms;
}

// A message with its "%s" filled in, in order.
std::string fillIn(std::string_view text, const std::string& first,
                   const std::string& second = {}) {
    std::string message(text);
    const std::size_t at = message.find("%s");
    message.replace(at, 2, first);
    const std::size_t next = message.find("%s", at + first.size());
    if (next != std::string::npos)
        message.replace(next, 2, second);
    return message;
}

enum class FileKind { Missing, Regular, Other };

// Without following a link: the printer's files are regular files or nothing.
FileKind kindOf(const fs::path& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Other;
    return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

// Reads what is in `fd` from where it stands to its end.
bool readRest(int fd, std::string& text) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

VirtualPrinter::VirtualPrinter(platform::Clock& clock, fs::path outputDir, Options options)
    : m_clock(clock), m_outputDir(std::move(outputDir)), m_options(options),
      m_memory(PrinterMemory::factoryDefaults()), m_powerOnMs(clock.tickMs()) {
    loadMemory();
    m_constructed = true;
}

void VirtualPrinter::loadMemory() {
    const fs::path file = stateFile();
    std::string text;
    switch (kindOf(file)) {
    case FileKind::Missing:
        return;
    case FileKind::Other:
        m_lastError = "not a regular file: " + file.string();
        tellOnce(file.string(), fillIn(kMsgSimNotAFile, file.string()));
        return;
    case FileKind::Regular:
        break;
    }
    if (!platform::readFile(file, text)) {
        m_lastError = "cannot read " + file.string();
        tellOnce(file.string(), fillIn(kMsgSimCannotRead, file.string()));
        return;
    }
    if (auto memory = parsePrinterMemory(text)) {
        m_memory = *memory;
        return;
    }
    // Kept aside, not overwritten by the next save: the values in it may still be wanted.
    const fs::path aside = file.string() + ".damaged";
    std::error_code ec;
    fs::rename(file, aside, ec);
    m_lastError = "damaged " + file.string() + ": factory defaults";
    tellOnce(file.string(), fillIn(kMsgSimDamagedMemory, file.string(), aside.string()));
}

void VirtualPrinter::setReport(std::function<void(std::string_view)> report) {
    m_report = std::move(report);
    // What the constructor found goes to whoever listens now.
    for (const std::string& message : std::exchange(m_pendingTold, {}))
        tell(message);
}

void VirtualPrinter::tell(const std::string& message) {
    if (m_report)
        m_report(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

void VirtualPrinter::tellOnce(const std::string& key, const std::string& message) {
    if (!m_toldTrouble.insert(key).second)
        return;
    if (m_constructed)
        tell(message);
    else
        m_pendingTold.push_back(message);
}

std::uint8_t VirtualPrinter::readRegister(std::uint16_t address) {
    switch (address) {
    case kBase:
        return m_data;
    case kBase + 1:
        return status();
    case kBase + 2:
        return m_control;
    default:
        return 0xFF;
    }
}

void VirtualPrinter::writeRegister(std::uint16_t address, std::uint8_t value) {
    if (address == kBase) {
        m_data = value;
    } else if (address == kBase + 2) {
        const std::uint8_t previous = m_control;
        m_control = value;
        controlChanged(previous, value);
    }
}

void VirtualPrinter::controlChanged(std::uint8_t previous, std::uint8_t now) {
    const auto rose = [&](std::uint8_t bit) { return !(previous & bit) && (now & bit); };
    const auto fell = [&](std::uint8_t bit) { return (previous & bit) && !(now & bit); };
    if (rose(control::kSelectIn))
        beginDataPhase();
    else if (fell(control::kSelectIn))
        endDataPhase();
    if (rose(control::kStrobe))
        onStrobe();
}

std::uint8_t VirtualPrinter::status() {
    maybePollControl();
    const auto index = m_busyTrigger ? currentIndex(m_busyTrigger->stage) : std::nullopt;
    if (index && *index >= m_busyTrigger->index) {
        m_busy = true;
        m_busyTrigger.reset();
    }

    bool acknowledge = false;
    bool bit = false;
    if (m_ackReads > 0) {
        // nACK low for one read: the printer took the byte.
        --m_ackReads;
        acknowledge = true;
    } else if (m_phase == Phase::Reply && !m_replyStalled && m_replyBit < m_reply.size() * 8) {
        // nACK low with the current reply bit on SELECT until the host strobes.
        acknowledge = true;
        bit = (m_reply[m_replyBit / 8] >> (m_replyBit % 8)) & 1;
    }

    std::uint8_t s = 0;
    if (!busy())
        s |= status::kNotBusy;
    if (!acknowledge)
        s |= status::kNoAck;
    if (m_paperOut)
        s |= status::kPaperOut;
    if (bit)
        s |= status::kSelect;
    if (!m_fault && !m_outputFault)
        s |= status::kNoError;
    return s;
}

bool VirtualPrinter::busy() {
    if (m_loadingPaper && m_clock.tickMs() - m_paperLoadStartMs >= m_options.paperLoadMs)
        m_loadingPaper = false;
    if (m_busyTimed && static_cast<std::int32_t>(m_clock.tickMs() - m_busyUntilMs) >= 0)
        m_busyTimed = false;
    return m_busy || m_busyTimed || m_fault || m_paperOut || m_outputFault || m_loadingPaper;
}

std::optional<std::size_t> VirtualPrinter::currentIndex(Stage stage) const {
    if (stage == Stage::HeaderByte && m_phase == Phase::Header)
        return m_headerCount;
    if (stage == Stage::DataByte && m_phase == Phase::Receive)
        return m_received.size();
    if (stage == Stage::ReadBit && m_phase == Phase::Reply)
        return m_replyBit;
    return std::nullopt;
}

bool VirtualPrinter::loseAck(Stage stage, std::size_t index) {
    if (m_loseNextAck) {
        m_loseNextAck = false;
        return true;
    }
    if (!m_lostAck || m_lostAck->stage != stage || m_lostAck->index != index)
        return false;
    m_lostAck.reset();
    return true;
}

void VirtualPrinter::onStrobe() {
    switch (m_phase) {
    case Phase::Header:
        takeHeaderByte();
        break;
    case Phase::Reply:
        advanceReplyBit();
        break;
    case Phase::Receive:
        takeDataByte();
        break;
    case Phase::Idle:
        break;
    }
}

void VirtualPrinter::takeHeaderByte() {
    if (loseAck(Stage::HeaderByte, m_headerCount))
        return;
    // Only the last three bytes count, so a header cut short by a failed exchange is
    // pushed out by the next one.
    m_header = {m_header[1], m_header[2], m_data};
    ++m_headerCount;
    m_ackReads = 1;
}

void VirtualPrinter::beginDataPhase() {
    maybePollControl();
    m_ackReads = 0;
    m_received.clear();
    m_reply.clear();
    m_replyBit = 0;
    m_replyStalled = false;
    m_phase = Phase::Idle;
    const bool complete = m_headerCount >= 3 && m_header[0] == kKeyword;
    m_headerCount = 0;
    if (!complete)
        return;

    const std::uint8_t main = m_header[1];
    const std::uint8_t sub = m_header[2];
    if (main == kReadValue || main == kReadStored) {
        m_reply = main == kReadValue ? readValue(sub) : std::vector<std::uint8_t>{stored(sub)};
        m_phase = Phase::Reply;
        m_replyStalled = loseAck(Stage::ReadBit, 0);
    } else if (main == kWriteValue) {
        m_expected = writeWidth(sub);
        m_phase = Phase::Receive;
    } else if (main == kStartPage && sub == 0x00) {
        startPage();
    } else if (main == kRasterLine && sub == 0x01) {
        m_expected = kLineBytes;
        m_phase = Phase::Receive;
    } else if (main == kEndPage && sub == 0x01) {
        m_expected = 1;
        m_phase = Phase::Receive;
    }
    if (m_phase == Phase::Receive)
        m_received.reserve(m_expected);
}

void VirtualPrinter::endDataPhase() {
    m_phase = Phase::Header;
    m_headerCount = 0;
    m_ackReads = 0;
    m_reply.clear();
    m_received.clear();
}

void VirtualPrinter::advanceReplyBit() {
    if (m_replyStalled || m_replyBit >= m_reply.size() * 8)
        return;
    ++m_replyBit;
    if (m_replyBit < m_reply.size() * 8)
        m_replyStalled = loseAck(Stage::ReadBit, m_replyBit);
}

void VirtualPrinter::takeDataByte() {
    if (m_received.size() >= m_expected || loseAck(Stage::DataByte, m_received.size()))
        return;
    m_received.push_back(m_data);
    const bool last = m_received.size() == m_expected;
    // The last byte is acknowledged only once the command has acted: a page that could
    // not be put out is refused, so the host learns of it from its EndPage.
    m_ackReads = !last || execute() ? 1 : 0;
    if (last)
        m_phase = Phase::Idle;
}

std::vector<std::uint8_t> VirtualPrinter::readValue(std::uint8_t parameter) {
    switch (parameter) {
    case kWarmUpState:
        return {warmUpState()};
    case kPrintPair:
        return {m_memory.printPair[0], m_memory.printPair[1]};
    case kPcbTemperatureParam:
        return {kPcbTemperature};
    case kHeaterTemperatureParam:
        return {heaterTemperature()};
    default:
        return {stored(parameter)};
    }
}

std::size_t VirtualPrinter::writeWidth(std::uint8_t parameter) const {
    if (parameter == kPrintPair)
        return m_memory.printPair.size();
    if (parameter == kLedTableParam)
        return PrinterMemory::kLedTableSize;
    return 1;
}

bool VirtualPrinter::execute() {
    const std::uint8_t main = m_header[1];
    if (main == kWriteValue)
        writeValue(m_header[2]);
    else if (main == kRasterLine)
        addLine();
    else if (main == kEndPage)
        return endPage(m_received[0]);
    return true;
}

void VirtualPrinter::writeValue(std::uint8_t parameter) {
    if (parameter == kPrintPair) {
        std::copy(m_received.begin(), m_received.end(), m_memory.printPair.begin());
    } else if (parameter == kLedTableParam) {
        std::copy(m_received.begin(), m_received.end(),
                  m_memory.stored.begin() + PrinterMemory::kLedTable);
    } else if (writableStored(parameter)) {
        m_memory.stored[parameter] = m_received[0];
    } else {
        return; // measured or unknown parameters take the byte and keep nothing
    }
    saveMemory();
}

std::uint8_t VirtualPrinter::warmUpState() {
    return m_clock.tickMs() - m_powerOnMs >= m_options.warmUpMs ? kWarm : kWarming;
}

std::uint8_t VirtualPrinter::heaterTemperature() {
    const int target = m_memory.stored[PrinterMemory::kHeaterTarget];
    const std::uint32_t elapsed = m_clock.tickMs() - m_powerOnMs;
    if (elapsed >= m_options.warmUpMs)
        return static_cast<std::uint8_t>(target);
    const auto rise = static_cast<std::int64_t>(target - kPcbTemperature) * elapsed /
                      static_cast<std::int64_t>(m_options.warmUpMs);
    return static_cast<std::uint8_t>(kPcbTemperature + rise);
}

void VirtualPrinter::startPage() {
    m_pageOpen = true;
    m_lines.clear();
    m_pageLines = 0;
    m_paperLoadStartMs = m_clock.tickMs();
    m_loadingPaper = m_options.paperLoadMs > 0;
    if (m_trayEmpty)
        m_paperOut = true;
}

void VirtualPrinter::addLine() {
    if (!m_pageOpen || m_pageLines >= kMaxPageLines)
        return; // a line outside a page has no paper to go on
    m_lines.insert(m_lines.end(), m_received.begin(), m_received.end());
    ++m_pageLines;
}

bool VirtualPrinter::endPage(std::uint8_t code) {
    if (!m_pageOpen)
        return true;
    bool putOut = true;
    if (code == kPageComplete) {
        m_lastPage = reassemble();
        putOut = writePage(m_lastPage);
        if (putOut) {
            ++m_pagesWritten;
        } else {
            m_outputFault = true;
            if (m_report) {
                std::string text(kMsgSimPageNotWritten);
                m_report(text.replace(text.find("%s"), 2, m_outputDir.string()));
            }
        }
    } else {
        ++m_pagesCancelled;
    }
    m_pageOpen = false;
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_pageLines = 0;
    publishState();
    return putOut;
}

PageLevels VirtualPrinter::reassemble() const {
    PageLevels page;
    page.values.assign(static_cast<std::size_t>(PageLevels::kWidth) * PageLevels::kHeight * 3, 0);
    for (const HeadElement& element : kHeadMap) {
        const auto channel = static_cast<std::size_t>(element.channel);
        for (int x = 0; x < PageLevels::kWidth; ++x) {
            // Line a prints column a - d: the column's value sits d lines later. A line
            // that never came is a white line.
            const int line = x + element.delay;
            const std::uint8_t* bytes = static_cast<std::size_t>(line) < m_pageLines
                                            ? m_lines.data() + std::size_t(line) * kLineBytes
                                            : nullptr;
            for (int i = 0; i < kHeadPositions; ++i) {
                const std::uint8_t value =
                    bytes ? bytes[elementOffset(element, i, line)] : kBlankSlot;
                page.values[(static_cast<std::size_t>(i) * PageLevels::kWidth + x) * 3 + channel] +=
                    value;
            }
        }
    }
    return page;
}

VirtualPrinter::PageProof VirtualPrinter::plainProof(const PageLevels& levels) {
    PageProof proof{std::vector<std::uint8_t>(levels.values.size()), std::string(kPlainProofName)};
    for (std::size_t p = 0; p < levels.values.size(); p += 3) {
        const int yellow = PageLevels::yellowLevelEstimate(levels.values[p]);
        proof.rgb[p] = previewValue(levels.values[p + 2]);     // red: cyan dye
        proof.rgb[p + 1] = previewValue(levels.values[p + 1]); // green: magenta
        proof.rgb[p + 2] = previewValue(yellow);               // blue: yellow
    }
    return proof;
}

bool VirtualPrinter::writePage(const PageLevels& levels) {
    std::error_code ec;
    fs::create_directories(m_outputDir, ec);
    std::uint32_t number = m_memory.pageCounter + 1;
    while (fs::exists(m_outputDir / pageName(number, "png"), ec) ||
           fs::exists(m_outputDir / pageName(number, "ppm"), ec) ||
           fs::exists(m_outputDir / pageName(number, "levels"), ec))
        ++number;

    std::optional<PageProof> proof;
    try {
        if (m_pageProof)
            proof = m_pageProof(levels);
    } catch (...) {
        // The page itself is fine; it only loses the job's colours.
        proof.reset();
    }
    // A maker that failed must not cost the page: the plain proof still shows it.
    if (!proof || proof->rgb.size() != levels.values.size())
        proof = plainProof(levels);
    const std::string png =
        platform::encodeRgbPng(PageLevels::kWidth, PageLevels::kHeight, proof->rgb.data());

    std::string raw;
    raw.reserve(levels.values.size() * 2);
    for (const std::uint16_t value : levels.values) {
        raw += static_cast<char>(value & 0xFF);
        raw += static_cast<char>(value >> 8);
    }

    const fs::path picture = m_outputDir / pageName(number, "png");
    bool ok = !png.empty() && platform::writeFileAtomic(picture, png) &&
              platform::writeFileAtomic(m_outputDir / pageName(number, "levels"), raw);
    if (ok && m_options.writeRawPicture) {
        const PageProof plain = plainProof(levels);
        std::string ppm = "P6\n640 480\n255\n";
        ppm.append(plain.rgb.begin(), plain.rgb.end());
        ok = platform::writeFileAtomic(m_outputDir / pageName(number, "ppm"), ppm);
    }
    if (ok && m_options.writeRawLines) {
        const std::string_view lines(reinterpret_cast<const char*>(m_lines.data()), m_lines.size());
        ok = platform::writeFileAtomic(m_outputDir / pageName(number, "lines"), lines);
    }
    if (!ok) {
        m_lastError = "cannot write " + picture.string();
        return false;
    }
    m_lastPagePath = picture;
    // One line in the state file, whatever the maker said.
    std::replace(proof->calibration.begin(), proof->calibration.end(), '\n', ' ');
    m_lastPageCalibration = std::move(proof->calibration);
    m_memory.pageCounter = number;
    saveMemory();
    return true;
}

void VirtualPrinter::saveMemory() {
    std::error_code ec;
    fs::create_directories(m_outputDir, ec);
    if (!writeOwnFile(stateFile(), formatPrinterMemory(m_memory)))
        m_lastError = "cannot write " + stateFile().string();
}

bool VirtualPrinter::writeOwnFile(const fs::path& file, std::string_view text) {
    // Never through a link, never over a folder or a pipe someone put there.
    if (kindOf(file) == FileKind::Other) {
        tellOnce(file.string(), fillIn(kMsgSimNotAFile, file.string()));
        return false;
    }
    if (!platform::writeFileAtomic(file, text)) {
        // Without its folder the printer tells the lost page; the file is no news then.
        std::error_code ec;
        if (fs::is_directory(m_outputDir, ec))
            tellOnce(file.string(), fillIn(kMsgSimCannotWrite, file.string()));
        return false;
    }
    m_toldTrouble.erase(file.string());
    return true;
}

void VirtualPrinter::reset() {
    endDataPhase();
    m_pageOpen = false;
    m_lines.clear();
    m_pageLines = 0;
    m_loadingPaper = false;
    m_outputFault = false;
    publishState();
}

void VirtualPrinter::clearFaults() {
    m_loseNextAck = false;
    m_busyTimed = false;
    m_paperOut = false;
    m_trayEmpty = false;
    m_fault = false;
    m_busy = false;
    m_lostAck.reset();
    m_busyTrigger.reset();
    m_outputFault = false;
}

} // namespace kv::printer

namespace kv::printer {

void VirtualPrinter::maybePollControl() {
    // Not at every register access: a raster line alone is thousands of them.
    const auto now = std::chrono::steady_clock::now();
    if (m_controlLooked &&
        now - m_lastControlLook < std::chrono::milliseconds(m_options.controlIntervalMs))
        return;
    m_controlLooked = true;
    m_lastControlLook = now;
    pollControl();
}

void VirtualPrinter::pollControl() {
    for (const std::string& message : std::exchange(m_pendingTold, {}))
        tell(message);
    const fs::path control = controlFile();
    switch (kindOf(control)) {
    case FileKind::Missing:
        break;
    case FileKind::Other:
        // A folder would make a reader throw, a pipe would block it for good.
        tellOnce(control.string(), fillIn(kMsgSimNotAFile, control.string()));
        break;
    case FileKind::Regular:
        m_toldTrouble.erase(control.string());
        takeControlFile();
        break;
    }
    publishState();
}

void VirtualPrinter::takeControlFile() {
    // Taken by renaming: a writer appending from now on makes a new control file, so
    // nothing written while this one is read is lost.
    const fs::path taken =
        m_outputDir / ("control.taken-" + std::to_string(static_cast<long>(::getpid())));
    std::error_code ec;
    fs::rename(controlFile(), taken, ec);
    if (ec)
        return;
    if (m_controlTakenHook) {
        const auto hook = m_controlTakenHook; // it may replace itself
        hook();
    }
    const int fd = ::open(taken.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    std::string text;
    bool read = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readRest(fd, text);
    ::unlink(taken.c_str());
    // A writer that opened the file before the rename may still have added to it.
    read = read && readRest(fd, text);
    if (fd >= 0)
        ::close(fd);
    if (!read)
        tellOnce(controlFile().string(), fillIn(kMsgSimCannotRead, controlFile().string()));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line(text.data() + start, end - start);
        if (!applyControl(line))
            tell(fillIn(kMsgSimUnknownInstruction, controlFile().string(), std::string(line)));
        start = end + 1;
    }
}

bool VirtualPrinter::applyControl(std::string_view line) {
    const std::string words = normalised(line);
    if (words.empty() || words[0] == '#')
        return true;
    if (words == "paper out") {
        // A printer between pages knows of no paper trouble until it feeds the next sheet.
        if (m_pageOpen)
            m_paperOut = true;
        else
            m_trayEmpty = true;
    } else if (words == "paper in") {
        m_paperOut = false;
        m_trayEmpty = false;
    } else if (words == "fault") {
        m_fault = true;
    } else if (words == "clear") {
        m_fault = false;
        m_outputFault = false;
    } else if (words == "lose ack") {
        m_loseNextAck = true;
    } else if (const auto busyMs = millisecondsAfter(words, "busy")) {
        m_busyTimed = *busyMs > 0;
        m_busyUntilMs = m_clock.tickMs() + *busyMs;
    } else if (const auto warmUpMs = millisecondsAfter(words, "warmup")) {
        m_options.warmUpMs = *warmUpMs;
        m_powerOnMs = m_clock.tickMs();
    } else {
        return false;
    }
    return true;
}

std::string VirtualPrinter::stateReport() {
    const auto yesNo = [](bool on) { return on ? "yes" : "no"; };
    const bool busyNow = busy() && !m_fault && !m_outputFault && !m_paperOut;
    std::string text;
    text += std::string("paper: ") + (m_paperOut || m_trayEmpty ? "out" : "in") + "\n";
    text += std::string("fault: ") + yesNo(m_fault || m_outputFault) + "\n";
    text += std::string("busy: ") + yesNo(busyNow) + "\n";
    text += std::string("warming up: ") + yesNo(warmUpState() != kWarm) + "\n";
    text += "pages printed: " + std::to_string(m_pagesWritten) + "\n";
    text += "last page: " + m_lastPagePath.string() + "\n";
    text += "proof: " + m_lastPageCalibration + "\n";
    return text;
}

void VirtualPrinter::publishState() {
    std::string text = stateReport();
    if (text == m_publishedState)
        return;
    std::error_code ec;
    fs::create_directories(m_outputDir, ec);
    // Written whole or not at all, so a reader never sees half of it; a failure is tried
    // again at the next look.
    if (writeOwnFile(stateReportFile(), text))
        m_publishedState = std::move(text);
}

} // namespace kv::printer
