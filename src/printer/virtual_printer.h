#pragma once

#include "platform/clock.h"
#include "printer/printer_memory.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kv::printer {

// One page as the virtual printer re-assembled it from the raster lines: for each head
// position (row) and picture column, the yellow exposure sum, the magenta level and the
// cyan level, in the level order of the exposure image.
struct PageLevels {
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;

    // kHeight rows of kWidth triples {yellow sum, magenta, cyan}, row 0 first.
    std::vector<std::uint16_t> values;

    std::uint16_t yellowSum(int row, int column) const { return at(row, column, 0); }
    std::uint16_t magenta(int row, int column) const { return at(row, column, 1); }
    std::uint16_t cyan(int row, int column) const { return at(row, column, 2); }

    // Yellow is printed by three elements adding up to 3 * (v / 4) + v mod 4, so a level
    // with v mod 4 = 3 and the next multiple of 4 give the same sum; this is the lower
    // reading for v mod 4 <= 2, the higher one for 3.
    static int yellowLevelEstimate(int sum) { return 4 * (sum / 3) + sum % 3; }
    // The sum the three yellow elements print for level v.
    static int yellowSumOf(int level) { return 3 * (level / 4) + level % 4; }

    // Whether the page holds at (row, column) what the levels from blue, green and red
    // would print there (yellow by its element sum).
    bool agrees(int row, int column, int yellow, int magenta, int cyan) const {
        return yellowSum(row, column) == yellowSumOf(yellow) &&
               this->magenta(row, column) == magenta && this->cyan(row, column) == cyan;
    }

  private:
    std::uint16_t at(int row, int column, int channel) const {
        return values[(static_cast<std::size_t>(row) * kWidth + column) * 3 + channel];
    }
};

// The photo printer behind the registers of port 0x378, answering the handshake as a
// printer does:
//
//  * Header: while SELECT IN is released, every STROBE rising edge latches the data
//    register as a header byte and is acknowledged by nACK low on the next status read.
//  * SELECT IN asserted: the last three header bytes are the command (keyword 0x24, main,
//    sub). A read command presents its reply on SELECT one bit at a time, least
//    significant first, with nACK low; each STROBE pulse moves to the next bit, and after
//    the last bit nACK stays high. A write command takes one data byte per STROBE edge,
//    acknowledged like a header byte, until it has its bytes; then it acts. Bytes beyond
//    those, and anything for a command it does not know, get no acknowledge.
//  * SELECT IN released: the data phase ends; an unfinished write is dropped.
//
// Status lines: BUSY (bit 7 reads 0) while busy, in fault, out of paper or loading paper;
// PE with paper out; nERROR low in fault. Reads of the control and data registers give
// what was last written; other addresses read 0xFF and take writes without effect, like
// an absent port.
//
// Warm-up (parameter 0x06) starts at power-on, which is construction: 1 while heating, 3
// once warmUpMs have passed on the clock. Resets and pages do not cool the heater.
//
// Pages: StartPage opens a page (and keeps the printer busy for paperLoadMs), RasterLine
// adds a line (lines outside a page or beyond kMaxPageLines are dropped; lines that never
// came print white), EndPage 0x00 re-assembles and writes the page, any other EndPage code
// discards it. Written: page-NNNN.png (640 x 480, the page's proof: the colours the job's
// exposure conversion turns into these levels, from the page proof a job hands over, else
// the plain level / 4), page-NNNN.levels (PageLevels::values as little-endian uint16), with
// writeRawPicture page-NNNN.ppm (colour = level / 4, since larger levels print lighter)
// and with writeRawLines page-NNNN.lines (the lines as received). NNNN counts on from the
// persistent page counter and never overwrites a page already in the folder. A page that
// cannot be written is refused (its EndPage byte gets no acknowledge) and puts the printer
// into fault until the next reset().
//
// Parameters and stored memory persist in printer-state.txt in the output folder; a
// damaged file gives factory defaults and is kept as printer-state.txt.damaged. The
// printer's files are regular files only: a folder, pipe or link in the place of the
// control, state or memory file is left alone and told once (as is any failure).
//
// Outside control: the file "control" in the output folder holds instructions, one a
// line, carried out while the printer runs: "paper out" (the tray runs empty: at once
// while a page is open, else noticed when the next page is fed), "paper in", "fault", "clear"
// (ends a fault), "busy N" (busy for N ms), "lose ack" (the next acknowledge is lost),
// "warmup N" (heats up anew, warm N ms from now). Blank lines and lines starting with
// '#' are skipped; others are told (one line each) and ignored. The printer looks for
// the file at most every controlIntervalMs of real time, at a status read or a command
// block, and takes it by renaming it first, so a line appended meanwhile lands in a new
// control file. After every change of its state it writes the file "state" beside it.
class VirtualPrinter {
  public:
    struct Options {
        std::uint32_t warmUpMs = 3000;
        std::uint32_t paperLoadMs = 0;
        bool writeRawLines = false;
        bool writeRawPicture = false;
        // Real time between two looks for the control file; 0: at every chance.
        std::uint32_t controlIntervalMs = 50;
    };

    static constexpr std::string_view kControlFileName = "control";
    static constexpr std::string_view kStateReportName = "state";

    // Where a fault is injected: the index counts header bytes taken since the last data
    // phase or reset (a header cut short leaves its bytes counted), data bytes of a write,
    // or bits of a read.
    enum class Stage { HeaderByte, DataByte, ReadBit };

    static constexpr std::uint16_t kBase = 0x378;
    static constexpr int kMaxPageLines = 1024;
    static constexpr std::uint8_t kPcbTemperature = 25;

    VirtualPrinter(platform::Clock& clock, std::filesystem::path outputDir, Options options);
    VirtualPrinter(platform::Clock& clock, std::filesystem::path outputDir)
        : VirtualPrinter(clock, std::move(outputDir), Options{}) {}

    // Where a page that cannot be written and a control line not understood are told (the
    // user's standard error); none: a page only in lastError() and the fault, a control
    // line on standard error.
    void setReport(std::function<void(std::string_view)> report);

    // A page's proof: its picture columns as 8-bit RGB (top row first) and one line
    // naming the calibration it was made with.
    struct PageProof {
        std::vector<std::uint8_t> rgb;
        std::string calibration;
    };
    // Made from the re-assembled page; nullopt (or a picture of the wrong size) when it
    // cannot be, and the page then gets the plain proof.
    using PageProofMaker = std::function<std::optional<PageProof>(const PageLevels&)>;
    // Set by a job for its pages (the printer knows nothing of calibrations); empty: the
    // plain proof.
    void setPageProof(PageProofMaker maker) { m_pageProof = std::move(maker); }
    // Colour = level / 4 (yellow from its estimate), as a job without a calibration prints.
    static PageProof plainProof(const PageLevels& levels);
    static constexpr std::string_view kPlainProofName = "plain: level / 4 (no job calibration)";

    // Register access.
    std::uint8_t readRegister(std::uint16_t address);
    void writeRegister(std::uint16_t address, std::uint8_t value);

    // Interface reset: back to waiting for a header, an unfinished command or page dropped,
    // an output fault cleared. Parameters, warm-up and the test switches stay.
    void reset();

    // Test switches, effective at once and held until switched off.
    void setPaperOut(bool on) { m_paperOut = on; }
    // An empty tray: nothing shows until the next page is fed, which then finds no paper.
    void setTrayEmpty(bool on) { m_trayEmpty = on; }
    void setFault(bool on) { m_fault = on; }
    void setBusy(bool on) { m_busy = on; }
    // The next time the printer reaches item `index` of `stage` it gives no acknowledge
    // (the item is not taken). One shot.
    void loseAckAt(Stage stage, std::size_t index) { m_lostAck = Trigger{stage, index}; }
    // The printer turns busy (as setBusy(true)) once it has taken `index` items of `stage`:
    // HeaderByte 1 or 2 fails a header byte's ready wait, DataByte 0 the wait before a
    // write's data phase, DataByte n > 0 the wait before data byte n. One shot.
    void busyAt(Stage stage, std::size_t index) { m_busyTrigger = Trigger{stage, index}; }
    void clearFaults();

    // Carries out the control file now, if there is one, and writes the state file when
    // the state changed. The printer calls it itself (see above).
    void pollControl();
    // Carries out one control line; false when it is not understood.
    bool applyControl(std::string_view line);
    // Called after the control file was taken and before it is read (tests append there).
    void setControlTakenHook(std::function<void()> hook) { m_controlTakenHook = std::move(hook); }
    std::filesystem::path controlFile() const { return m_outputDir / kControlFileName; }
    std::filesystem::path stateReportFile() const { return m_outputDir / kStateReportName; }
    // The state file's text: paper, fault, busy, warming up, pages printed, last page and
    // the calibration of its proof.
    std::string stateReport();

    // Inspection.
    const PrinterMemory& memory() const { return m_memory; }
    std::uint8_t stored(std::uint8_t address) const { return m_memory.stored[address]; }
    std::uint8_t warmUpState();
    std::uint8_t heaterTemperature();
    bool pageOpen() const { return m_pageOpen; }
    std::size_t pageLines() const { return m_pageLines; }
    std::size_t pagesWritten() const { return m_pagesWritten; }
    std::size_t pagesCancelled() const { return m_pagesCancelled; }
    const PageLevels& lastPageLevels() const { return m_lastPage; }
    // The last page's picture (page-NNNN.png).
    const std::filesystem::path& lastPagePath() const { return m_lastPagePath; }
    // What the last page's proof was made with.
    const std::string& lastPageCalibration() const { return m_lastPageCalibration; }
    const std::filesystem::path& outputDir() const { return m_outputDir; }
    const std::string& lastError() const { return m_lastError; }
    std::filesystem::path stateFile() const { return m_outputDir / "printer-state.txt"; }

  private:
    enum class Phase {
        Header,  // taking header bytes
        Reply,   // presenting the reply of a read
        Receive, // taking the data bytes of a write
        Idle,    // command done or not understood; waiting for SELECT IN to fall
    };
    struct Trigger {
        Stage stage;
        std::size_t index;
    };

    std::uint8_t status();
    void controlChanged(std::uint8_t previous, std::uint8_t now);
    void onStrobe();
    void beginDataPhase();
    void endDataPhase();
    void takeHeaderByte();
    void advanceReplyBit();
    void takeDataByte();
    bool loseAck(Stage stage, std::size_t index);
    std::optional<std::size_t> currentIndex(Stage stage) const; // nullopt: not in that stage

    std::vector<std::uint8_t> readValue(std::uint8_t parameter);
    std::size_t writeWidth(std::uint8_t parameter) const;
    bool execute(); // false: the command could not be carried out
    void writeValue(std::uint8_t parameter);
    void startPage();
    void addLine();
    bool endPage(std::uint8_t code);
    PageLevels reassemble() const;
    bool writePage(const PageLevels& levels);
    void saveMemory();
    bool busy();
    void maybePollControl();
    void loadMemory();
    void takeControlFile();
    void publishState();
    // Writes one of the printer's own files; a link, folder or pipe in its place is left
    // alone and told.
    bool writeOwnFile(const std::filesystem::path& file, std::string_view text);
    void tell(const std::string& message);
    // Tells a trouble with `key` (a file) once, until that file works again.
    void tellOnce(const std::string& key, const std::string& message);

    platform::Clock& m_clock;
    std::filesystem::path m_outputDir;
    std::function<void(std::string_view)> m_report;
    std::set<std::string> m_toldTrouble;
    std::vector<std::string> m_pendingTold; // found before anyone listened
    bool m_constructed = false;
    Options m_options;
    PrinterMemory m_memory;
    std::uint32_t m_powerOnMs;

    // Registers as the host last wrote them.
    std::uint8_t m_data = 0;
    std::uint8_t m_control = 0;

    // Handshake.
    Phase m_phase = Phase::Header;
    std::array<std::uint8_t, 3> m_header{};
    std::size_t m_headerCount = 0; // header bytes taken since the last data phase
    int m_ackReads = 0;            // status reads that still show nACK low
    std::vector<std::uint8_t> m_reply;
    std::size_t m_replyBit = 0;
    bool m_replyStalled = false;
    std::vector<std::uint8_t> m_received;
    std::size_t m_expected = 0;

    // Test switches.
    bool m_paperOut = false;
    bool m_trayEmpty = false;
    bool m_fault = false;
    bool m_busy = false;
    std::optional<Trigger> m_lostAck;
    std::optional<Trigger> m_busyTrigger;
    bool m_loseNextAck = false;
    bool m_busyTimed = false;
    std::uint32_t m_busyUntilMs = 0;

    // Outside control.
    std::chrono::steady_clock::time_point m_lastControlLook{};
    bool m_controlLooked = false;
    std::function<void()> m_controlTakenHook;
    std::string m_publishedState;

    // Pages.
    bool m_pageOpen = false;
    std::vector<std::uint8_t> m_lines; // the page's raster lines, kLineBytes each
    std::size_t m_pageLines = 0;
    std::uint32_t m_paperLoadStartMs = 0;
    bool m_loadingPaper = false;
    bool m_outputFault = false;
    std::size_t m_pagesWritten = 0;
    std::size_t m_pagesCancelled = 0;
    PageLevels m_lastPage;
    std::filesystem::path m_lastPagePath;
    std::string m_lastPageCalibration;
    PageProofMaker m_pageProof;
    std::string m_lastError;
};

} // namespace kv::printer
