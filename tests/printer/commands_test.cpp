#include "printer/printer_commands.h"

#include "platform/clock.h"
#include "platform/recording_ui.h"
#include "printer/port_backend.h"
#include "printer/port_library.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>

namespace kv::printer {
namespace {

using Icon = platform::Ui::Icon;
using Prompts = std::vector<std::pair<std::string, Icon>>;

// Answers command blocks like the printer: parameters, stored bytes, a warm-up
// that completes at a given time. Records every command and bracket step.
class FakePrinter : public PortApi {
  public:
    explicit FakePrinter(platform::FakeClock& clock) : m_clock(clock) {}

    float getDllVersion() override { return 0.03f; }
    std::uint16_t isReady() override {
        if (readyScript.empty())
            return readyAlways;
        const std::uint16_t code = readyScript.front();
        readyScript.pop_front();
        return code;
    }
    std::uint16_t lptReset() override {
        events.push_back("reset@" + std::to_string(m_clock.tickMs()));
        if (resetCodes.empty())
            return 0;
        const std::uint16_t code = resetCodes.front();
        resetCodes.pop_front();
        return code;
    }
    std::int32_t initPort(std::int32_t) override { return 0x378; }
    void writeData(std::uint16_t port, std::uint8_t value) override {
        // Classify each 18-byte sequence on the first port by its 16th byte.
        if (port != 0x378)
            return;
        m_sequence.push_back(value);
        if (m_sequence.size() == 18) {
            if (m_sequence[15] != 0x4A) // the second select sequence adds no event
                events.push_back((m_sequence[15] == 0x7A ? "select@" : "release@") +
                                 std::to_string(m_clock.tickMs()));
            m_sequence.clear();
        }
    }
    std::uint32_t commandSet(std::uint8_t* raw) override {
        CommandBlock& b = *reinterpret_cast<CommandBlock*>(raw);
        char name[8];
        std::snprintf(name, sizeof name, "%02X%02X", b.mainCommand(), b.subCommand());
        sent.push_back(name);
        header.assign(raw, raw + 7);
        if (events.size() < 20)
            events.push_back(std::string(name) + "@" + std::to_string(m_clock.tickMs()));
        if (static_cast<int>(sent.size()) - 1 == failAt)
            return raw[7] = 9;
        std::uint8_t* data = b.data();
        if (b.mainCommand() == command::kReadValue) {
            const auto& v = b.subCommand() == parameter::kWarmUpState
                                ? std::vector<std::uint8_t>{static_cast<std::uint8_t>(
                                      m_clock.tickMs() >= warmAtMs ? 3 : 1)}
                                : values[b.subCommand()];
            std::copy_n(v.begin(), std::min<std::size_t>(v.size(), b.length()), data);
        } else if (b.mainCommand() == command::kReadStored) {
            data[0] = stored[b.subCommand()];
        } else if (b.mainCommand() == command::kWriteValue && b.subCommand() == 0x20) {
            std::copy_n(data, b.length(), stored.begin() + 0x21);
        } else if (b.mainCommand() == command::kWriteValue) {
            values[b.subCommand()].assign(data, data + b.length());
        } else if (b.mainCommand() == command::kRasterLine ||
                   b.mainCommand() == command::kEndPage) {
            lastData.assign(data, data + b.length());
        }
        return raw[7] = 0;
    }

    std::map<std::uint8_t, std::vector<std::uint8_t>> values;
    std::array<std::uint8_t, 256> stored{};
    std::uint32_t warmAtMs = 0;
    std::uint16_t readyAlways = 0;
    std::deque<std::uint16_t> readyScript, resetCodes;
    int failAt = -1;
    std::vector<std::string> sent, events;
    std::vector<std::uint8_t> header, lastData;

  private:
    platform::FakeClock& m_clock;
    std::vector<std::uint8_t> m_sequence;
};

class FakeProgress : public platform::ProgressDisplay {
  public:
    void showProgress(int) override { shown.push_back(flags.warmingUp); }
    void redraw() override { redrawn.push_back(flags.warmingUp); }
    std::vector<bool> shown, redrawn;
};

struct Rig {
    platform::FakeClock clock;
    platform::RecordingUi ui;
    FakeProgress progress;
    test::TempDir dir;
    FakePrinter printer{clock};
    PrinterLink link{printer, clock, ui, &progress, dir.path()};

    Prompts prompts() const {
        Prompts out;
        for (const auto& p : ui.prompts())
            out.emplace_back(p.text, p.icon);
        return out;
    }
    std::string sentList() const {
        std::string s;
        for (const auto& c : printer.sent)
            s += (s.empty() ? "" : " ") + c;
        return s;
    }
};

const std::string kSendFailed = "Fehler beim Absenden des Befehls.";
const std::string kNotReady = "Fotodrucker ist nicht bereit.";

TEST(PrinterCommands, CheckPrintParametersWritesOnlyWhatDiffers) {
    const struct {
        std::vector<std::uint8_t> heater, offset, pair;
        int failAt;
        const char* commands;
        int result;
    } cases[] = {
        {{0x2D}, {0x2B}, {0x08, 0x07}, -1, "FF14 FF15 FF0C", 0},
        {{0x00}, {0x2C}, {0x07, 0x08}, -1, "FF14 FE14 FF15 FE15 FF0C FE0C", 0},
        {{0x2D}, {0x2B}, {0x08, 0x00}, -1, "FF14 FF15 FF0C FE0C", 0},
        {{0x2D}, {0x2B}, {0x08, 0x07}, 0, "FF14", 1},
        {{0x00}, {0x00}, {0x08, 0x07}, 3, "FF14 FE14 FF15 FE15", 1},
        {{0x2D}, {0x2B}, {0x00, 0x00}, 3, "FF14 FF15 FF0C FE0C", 1},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.printer.values = {{0x14, c.heater}, {0x15, c.offset}, {0x0C, c.pair}};
        rig.printer.failAt = c.failAt;
        EXPECT_EQ(checkPrintParameters(rig.link), c.result) << c.commands;
        EXPECT_EQ(rig.sentList(), c.commands);
        EXPECT_EQ(rig.clock.tickMs(), 10 * (rig.printer.sent.size() - 1)) << c.commands;
        if (c.result == 0) {
            EXPECT_EQ(rig.printer.values[0x0C], (std::vector<std::uint8_t>{0x08, 0x07}));
        }
        const Prompts failed = {{kSendFailed, Icon::Information}};
        EXPECT_EQ(rig.prompts(), c.result ? failed : Prompts{});
    }
}

TEST(PrinterCommands, WaitWarmUpEndsWarmOrAfterFourMinutes) {
    const struct {
        std::uint32_t warmAt;
        int failAt, result;
        std::uint32_t minMs, maxMs;
        Prompts prompts;
    } cases[] = {
        {0, -1, 0, 0, 0, {}},
        {5000, -1, 0, 5000, 5000, {}},
        {std::numeric_limits<std::uint32_t>::max(),
         -1,
         1,
         240001,
         240002,
         {{"Printer Unable to Heat Up", Icon::None}}},
        {std::numeric_limits<std::uint32_t>::max(), 7, 1, 7, 7, {{kSendFailed, Icon::None}}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.printer.warmAtMs = c.warmAt;
        rig.printer.failAt = c.failAt;
        EXPECT_EQ(waitWarmUp(rig.link), c.result);
        EXPECT_GE(rig.clock.tickMs(), c.minMs);
        EXPECT_LE(rig.clock.tickMs(), c.maxMs);
        EXPECT_EQ(rig.printer.sent.size(), rig.clock.tickMs() + 1);
        EXPECT_EQ(rig.prompts(), c.prompts);
        // Shown while warming up, wiped back once it ends.
        EXPECT_EQ(rig.progress.shown, std::vector<bool>{true});
        EXPECT_EQ(rig.progress.redrawn, std::vector<bool>{false});
    }
}

TEST(PrinterCommands, StartPageWaitsForReadyOrFault) {
    const struct {
        std::deque<std::uint16_t> script; // then `then` for ever
        std::uint16_t then;
        int failAt, result;
        const char* commands;
        Prompts prompts;
    } cases[] = {
        {{}, 0, -1, 1, "0800", {}},
        {{3, 3, 1, 3}, 0, -1, 1, "0800", {}},
        {{}, 2, -1, -1, "", {}},
        {{3, 1, 3}, 2, -1, -1, "", {}},
        {{}, 3, -1, -1, "", {{kNotReady, Icon::Information}}},
        {{}, 1, -1, -1, "", {{kNotReady, Icon::Information}}},
        {{}, 0, 0, -1, "0800", {{kSendFailed, Icon::Information}}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.printer.readyScript = c.script;
        rig.printer.readyAlways = c.then;
        rig.printer.failAt = c.failAt;
        EXPECT_EQ(startPage(rig.link), c.result) << c.commands;
        EXPECT_EQ(rig.sentList(), c.commands);
        EXPECT_EQ(rig.prompts(), c.prompts);
        if (!c.prompts.empty() && c.prompts[0].first == kNotReady) {
            EXPECT_GE(rig.clock.tickMs(), 15000u);
            EXPECT_LE(rig.clock.tickMs(), 15101u);
        }
    }
    Rig rig;
    startPage(rig.link);
    EXPECT_EQ(rig.printer.header, (std::vector<std::uint8_t>{1, 0, 0, 0, 0x24, 0x08, 0x00}));
}

TEST(PrinterCommands, GuardedCommandChecksReadinessFirst) {
    const struct {
        std::uint16_t ready;
        int failAt, result;
        const char* commands;
        Prompts prompts;
    } cases[] = {
        {0, -1, 1, "FB18", {}},
        {3, -1, -1, "", {{kNotReady, Icon::None}}},
        {1, -1, -1, "", {{kNotReady, Icon::None}}},
        {0, 0, -1, "FB18", {{kSendFailed, Icon::None}}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.printer.readyAlways = c.ready;
        rig.printer.failAt = c.failAt;
        rig.printer.stored[0x18] = 0xA5;
        EXPECT_EQ(guardedReadStored(rig.link, 0x18), c.result);
        EXPECT_EQ(rig.sentList(), c.commands);
        EXPECT_EQ(rig.prompts(), c.prompts);
        if (c.result == 1) {
            EXPECT_EQ(rig.link.block().data()[0], 0xA5);
        }
    }
}

TEST(PrinterCommands, RasterLineAndEndPageBlocks) {
    Rig rig;
    std::vector<std::uint8_t> line(kRasterLineBytes);
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(sendRasterLine(rig.link, line.data()), 0u);
    EXPECT_EQ(rig.printer.header, (std::vector<std::uint8_t>{1, 0, 0xC0, 0x25, 0x24, 0x00, 0x01}));
    EXPECT_EQ(rig.printer.lastData, line);

    rig.printer.failAt = 1;
    EXPECT_EQ(endPage(rig.link, kEndPageCancel), 9u);
    EXPECT_EQ(rig.printer.header, (std::vector<std::uint8_t>{1, 0, 1, 0, 0x24, 0x02, 0x01}));
    EXPECT_EQ(rig.printer.events.back(), "0201@10");
}

std::string temperaFile(const LedCurves& curves) {
    std::string bytes;
    for (const LedCurve& curve : curves)
        for (float v : curve)
            bytes.append(reinterpret_cast<const char*>(&v), 4); // the test host is little-endian
    return bytes;
}

TEST(PrinterCommands, UploadRebasesTheCurvesOnThePrintersPwm) {
    Rig rig;
    LedCurves curves = unitLedCurves();
    for (std::size_t i = 0; i < kLedCurveLength; ++i)
        curves[0][i] = 0.5f + i / 72.0f; // red rises through 1.0 at 36
    test::writeBytes(rig.dir / "tempera.tur", temperaFile(curves));
    rig.printer.stored[0x11] = 120;
    rig.printer.stored[0x12] = 90;
    rig.printer.stored[0x13] = 250;
    LedTable table;
    table.setColourFactors(1.0, 0.9, 1.1);

    EXPECT_EQ(uploadLedTable(rig.link, rig.dir.path(), table), LedUploadResult::Sent);
    EXPECT_EQ(rig.prompts(), Prompts{});
    EXPECT_EQ(rig.sentList(), "FB11 FB12 FB13 FE20");
    EXPECT_EQ(rig.printer.events[3], "FE20@40");
    // At T the entry is P x F; elsewhere it follows the curve.
    EXPECT_EQ(rig.printer.stored[0x21 + 36], 120);
    EXPECT_EQ(rig.printer.stored[0x21 + 0], 60);
    EXPECT_EQ(rig.printer.stored[0x21 + 70], 177); // 120 * (0.5 + 70/72)
    EXPECT_EQ(rig.printer.stored[0x68 + 36], 81);
    EXPECT_EQ(rig.printer.stored[0xAF + 0], 255); // 275
    EXPECT_EQ(rig.printer.stored[0xF5], 255);
    EXPECT_EQ(rig.printer.stored[0xF6], 0);

    const std::string b10 = test::readBytes(rig.dir / "b10");
    EXPECT_TRUE(b10.starts_with("0  60  81  255 \n1  62  81  255 \n"));
    EXPECT_TRUE(b10.ends_with("\n70  177  81  255 \n"));
    EXPECT_EQ(std::count(b10.begin(), b10.end(), '\n'), 71);
    EXPECT_EQ(b10.find('\r'), std::string::npos);
}

TEST(PrinterCommands, UploadWithoutCurveFileUsesFlatCurves) {
    Rig rig;
    rig.printer.stored[0x11] = 100;
    rig.printer.stored[0x12] = 200;
    rig.printer.stored[0x13] = 51;
    rig.printer.readyScript = {0, 3, 0, 0}; // green's read meets a busy printer
    LedTable table;
    table.setPwm(LedColour::Green, 230);
    table.setColourFactors(1.0, 1.2, 0.5);

    EXPECT_EQ(uploadLedTable(rig.link, rig.dir.path(), table), LedUploadResult::Sent);
    EXPECT_EQ(rig.prompts(),
              (Prompts{{"Diese Datei kann nicht geöffnet werden!", Icon::Exclamation},
                       {kNotReady, Icon::None},
                       {kNotReady, Icon::None}}));
    EXPECT_EQ(table.pwm(LedColour::Green), 230); // kept, not the printer's 200
    for (std::size_t i = 0; i < kLedCurveLength; ++i) {
        EXPECT_EQ(rig.printer.stored[0x21 + i], 100);
        EXPECT_EQ(rig.printer.stored[0x68 + i], 255); // 276 clamps
        EXPECT_EQ(rig.printer.stored[0xAF + i], 26);  // 25.5
    }
}

TEST(PrinterCommands, DamagedCurveFileLeavesThePrintersTable) {
    const auto withEntry = [](std::size_t colour, float v) {
        LedCurves c = unitLedCurves();
        c[colour][36] = v;
        return temperaFile(c);
    };
    const std::string damaged =
        "Die Datei TEMPERA.TUR ist beschädigt. Die LED-Tabelle des Druckers bleibt unverändert.";
    const struct {
        std::string file;
        std::uint8_t t;
        std::string message;
    } cases[] = {
        {"", 36, damaged},
        {temperaFile(unitLedCurves()).substr(0, 851), 36, damaged},
        {withEntry(0, 0.0f), 36, damaged},
        {withEntry(1, -1.0f), 36, damaged},
        {withEntry(2, std::nanf("")), 36, damaged},
        {withEntry(0, INFINITY), 36, damaged},
        {temperaFile(unitLedCurves()), 71,
         "Der Temperaturindex muss zwischen 0 und 70 liegen. Die LED-Tabelle des Druckers "
         "bleibt unverändert."},
    };
    for (const auto& c : cases) {
        Rig rig;
        test::writeBytes(rig.dir / "TEMPERA.TUR", c.file);
        rig.printer.stored.fill(0x5A);
        LedTable table;
        table.setTemperatureIndex(c.t);
        EXPECT_EQ(uploadLedTable(rig.link, rig.dir.path(), table), LedUploadResult::NotComputed);
        EXPECT_EQ(rig.prompts(), (Prompts{{c.message, Icon::Exclamation}}));
        EXPECT_EQ(rig.sentList(), "");
        EXPECT_FALSE(std::filesystem::exists(rig.dir / "b10"));
    }
}

// The dump describes what the printer holds: a table that did not reach it leaves the
// last dump as it was.
TEST(PrinterCommands, FailedUploadKeepsTheLastDump) {
    const struct {
        const char* name;
        int failAt;
        std::deque<std::uint16_t> ready;
        Prompts prompts;
    } cases[] = {
        {"no acknowledge", 3, {}, {{kSendFailed, Icon::None}}},
        {"fault before the write", -1, {0, 0, 0, 2}, {{kNotReady, Icon::None}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        test::writeBytes(rig.dir / "TEMPERA.TUR", temperaFile(unitLedCurves()));
        test::writeBytes(rig.dir / "B10", "the table the printer holds\n");
        rig.printer.failAt = c.failAt;
        rig.printer.readyScript = c.ready;
        LedTable table;
        EXPECT_EQ(uploadLedTable(rig.link, rig.dir.path(), table), LedUploadResult::SendFailed);
        EXPECT_EQ(rig.prompts(), c.prompts);
        EXPECT_EQ(test::readBytes(rig.dir / "B10"), "the table the printer holds\n");
        EXPECT_FALSE(std::filesystem::exists(rig.dir / "b10"));
    }
}

TEST(PrinterCommands, UploadBracketSelectsResetsSettlesAndReleases) {
    for (int releases : {1, 2}) {
        Rig rig;
        rig.printer.resetCodes = {1, 1}; // only the second reset's failure is reported
        LedTable table;
        EXPECT_EQ(uploadLedTableBracketed(rig.link, rig.dir.path(), table, releases),
                  LedUploadResult::Sent);
        auto& ev = rig.printer.events;
        ASSERT_EQ(ev.size(), 7u + releases);
        EXPECT_TRUE(ev[0].starts_with("select@"));
        const auto at = [&](std::size_t i) { return std::stoi(ev[i].substr(ev[i].find('@') + 1)); };
        EXPECT_GE(at(1) - at(0), 300);
        EXPECT_EQ(ev[2], "reset@" + std::to_string(at(1) + 300));
        EXPECT_EQ(ev[3], "FB11@" + std::to_string(at(2) + 3010));
        EXPECT_EQ(ev[6].substr(0, 4), "FE20");
        EXPECT_TRUE(ev[7].starts_with("release@"));
        EXPECT_TRUE(ev.back().starts_with("release@"));
        EXPECT_EQ(rig.prompts(),
                  (Prompts{{"Fehler beim Zurücksetzen.", Icon::None},
                           {"Diese Datei kann nicht geöffnet werden!", Icon::Exclamation}}));
    }
}

// The same sequences against the virtual printer, through the port library's code.
struct VirtualRig {
    platform::FakeClock clock;
    platform::RecordingUi ui;
    test::TempDir dir;
    VirtualPrinter printer{clock, dir / "vp", {.warmUpMs = 5000}};
    SimPort port{printer};
    InProcessPortApi api{port, {.hasPort = {}, .afterReset = [this] {
                                    printer.reset();
                                    return true;
                                }}};
    PrinterLink link{api, clock, ui, nullptr, dir.path()};
};

TEST(PrinterCommands, VirtualPrinterTakesPreparationPageAndLedTable) {
    VirtualRig rig;
    EXPECT_EQ(waitWarmUp(rig.link), 0);
    EXPECT_GE(rig.clock.tickMs(), 5000u);
    EXPECT_LT(rig.clock.tickMs(), 5100u);
    EXPECT_EQ(checkPrintParameters(rig.link), 0);
    EXPECT_EQ(rig.printer.stored(0x14), 0x2D);
    EXPECT_EQ(rig.printer.stored(0x15), 0x2B);
    EXPECT_EQ(rig.printer.memory().printPair, (std::array<std::uint8_t, 2>{0x08, 0x07}));
    EXPECT_EQ(startPage(rig.link), 1);
    EXPECT_TRUE(rig.printer.pageOpen());
    std::vector<std::uint8_t> line(kRasterLineBytes, 0);
    EXPECT_EQ(sendRasterLine(rig.link, line.data()), 0u);
    EXPECT_EQ(rig.printer.pageLines(), 1u);
    EXPECT_EQ(endPage(rig.link, kEndPageCancel), 0u);
    EXPECT_EQ(rig.printer.pagesCancelled(), 1u);

    LedCurves curves = unitLedCurves();
    for (std::size_t i = 0; i < kLedCurveLength; ++i)
        curves[2][i] = 2.0f - i / 70.0f;
    test::writeBytes(rig.dir / "TEMPERA.TUR", temperaFile(curves));
    LedTable table;
    table.setColourFactors(1.5, 0.5, 1.0);
    EXPECT_EQ(uploadLedTableBracketed(rig.link, rig.dir.path(), table, 2), LedUploadResult::Sent);
    EXPECT_EQ(rig.ui.texts(), std::vector<std::string>{});
    const auto bytes = ledUploadBytes(table.rows());
    for (std::size_t i = 0; i < kLedTableBytes; ++i)
        ASSERT_EQ(rig.printer.stored(static_cast<std::uint8_t>(0x21 + i)), bytes[i]) << i;
    // Factory PWM 0x80: red 192, green 64 flat; blue re-based at 36.
    EXPECT_EQ(rig.printer.stored(0x21), 192);
    EXPECT_EQ(rig.printer.stored(0x68 + 70), 64);
    EXPECT_EQ(rig.printer.stored(0xAF + 36), 128);
    EXPECT_EQ(rig.printer.stored(0xAF), 172); // 128 * 2 / (2 - 36/70)
}

// The virtual printer cut off in the middle of the table keeps its old one, and so does
// the dump: there is none.
TEST(PrinterCommands, UploadTheVirtualPrinterDidNotTakeWritesNoDump) {
    const struct {
        const char* name;
        void (*fail)(VirtualPrinter&);
        const char* message;
    } cases[] = {
        {"first byte lost",
         [](VirtualPrinter& p) { p.loseAckAt(VirtualPrinter::Stage::DataByte, 0); },
         "Fehler beim Absenden des Befehls."},
        {"last byte lost",
         [](VirtualPrinter& p) { p.loseAckAt(VirtualPrinter::Stage::DataByte, 212); },
         "Fehler beim Absenden des Befehls."},
        {"busy within the table",
         [](VirtualPrinter& p) { p.busyAt(VirtualPrinter::Stage::DataByte, 100); },
         "Fehler beim Absenden des Befehls."},
        {"fault", [](VirtualPrinter& p) { p.setFault(true); }, "Fotodrucker ist nicht bereit."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualRig rig;
        const PrinterMemory before = rig.printer.memory();
        test::writeBytes(rig.dir / "TEMPERA.TUR", temperaFile(unitLedCurves()));
        LedTable table;
        table.setColourFactors(1.5, 0.5, 1.0);
        c.fail(rig.printer);
        EXPECT_EQ(uploadLedTable(rig.link, rig.dir.path(), table), LedUploadResult::SendFailed);
        EXPECT_EQ(rig.ui.texts().back(), c.message);
        EXPECT_EQ(rig.printer.memory(), before);
        EXPECT_FALSE(std::filesystem::exists(rig.dir / "b10"));
    }
}

// KVPR_SIM_OUT that cannot take the page: the job engine hears it from EndPage, the
// printer stays in fault until the next reset, and standard error names the folder.
TEST(PrinterCommands, PageTheVirtualPrinterCannotWriteFailsItsEnd) {
    test::TempDir dir;
    test::writeBytes(dir / "blocked", "a file where a folder should be");
    BackendOptions options;
    options.simOutput = dir / "blocked" / "pages";
    options.warmUpMs = 0;
    std::vector<std::string> reports;
    auto backend =
        makePortBackend(options, [&](std::string_view text) { reports.emplace_back(text); });
    InProcessPortApi api(backend->io(), backend->hooks());
    platform::FakeClock clock;
    platform::RecordingUi ui;
    PrinterLink link(api, clock, ui, nullptr, dir.path());

    ASSERT_EQ(startPage(link), kCommandSent);
    const std::vector<std::uint8_t> line(kRasterLineBytes, 0x20);
    ASSERT_EQ(sendRasterLine(link, line.data()), 0u);
    EXPECT_EQ(endPage(link, kEndPageComplete), 9u);
    EXPECT_EQ(link.queryPrinterState(), PrinterState::Fault);
    EXPECT_EQ(reports, std::vector<std::string>{
                           "Der virtuelle Drucker kann die Seite nicht im Ordner " +
                           options.simOutput.string() +
                           " (KVPR_SIM_OUT) ablegen; die Seite ist verloren, der Drucker "
                           "meldet einen Fehler."});
    EXPECT_TRUE(ui.prompts().empty()) << "the job engine tells it";
    EXPECT_EQ(api.lptReset(), 0);
    EXPECT_EQ(link.queryPrinterState(), PrinterState::Ready);
}

} // namespace
} // namespace kv::printer
