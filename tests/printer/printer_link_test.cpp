#include "platform/clock.h"
#include "platform/progress.h"
#include "platform/recording_ui.h"
#include "printer/port_library.h"
#include "printer/printer_link.h"
#include "printer/printer_messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace kv::printer {
namespace {

using platform::FakeClock;
using platform::RecordingUi;
using Icon = platform::Ui::Icon;
using Bytes = std::vector<std::uint8_t>;

const Bytes kSelectFirst = {0xFF, 0x4A, 0x0A, 0x5A, 0x1A, 0x7A, 0x3A, 0x6A, 0x2A,
                            0x4A, 0x0A, 0x5A, 0x1A, 0x7A, 0x3A, 0x7A, 0x3A, 0xFF};
const Bytes kSelectSecond = {0xFF, 0x4A, 0x0A, 0x5A, 0x1A, 0x7A, 0x3A, 0x6A, 0x2A,
                             0x4A, 0x0A, 0x5A, 0x1A, 0x7A, 0x3A, 0x4A, 0x0A, 0xFF};
const Bytes kRelease = {0xFF, 0x4A, 0x0A, 0x5A, 0x1A, 0x7A, 0x3A, 0x6A, 0x2A,
                        0x4A, 0x0A, 0x5A, 0x1A, 0x7A, 0x3A, 0x5A, 0x1A, 0xFF};

struct Write {
    std::uint16_t port;
    std::uint8_t value;
    std::uint32_t at;
    bool operator==(const Write&) const = default;
};

// Every call with the clock's time; the events of the progress display go into
// the same log so that their order against the port calls shows.
struct Log {
    std::vector<std::string> events;
    std::vector<Write> writes;
};

class RecordingApi : public PortApi {
  public:
    RecordingApi(FakeClock& clock, Log& log) : m_clock(clock), m_log(log) {}

    float getDllVersion() override { return 0.03f; }
    std::uint32_t commandSet(std::uint8_t*) override { return 0; }
    std::uint16_t isReady() override { return readyCode; }
    std::uint16_t lptReset() override {
        m_log.events.push_back("reset@" + std::to_string(m_clock.tickMs()));
        if (resetResults.empty())
            return 0;
        const std::uint16_t r = resetResults.front();
        resetResults.pop_front();
        return r;
    }
    std::int32_t initPort(std::int32_t address) override {
        m_log.events.push_back("init " + std::to_string(address));
        return initResult;
    }
    void writeData(std::uint16_t port, std::uint8_t value) override {
        m_log.writes.push_back({port, value, m_clock.tickMs()});
    }

    std::uint16_t readyCode = 0;
    std::deque<std::uint16_t> resetResults;
    std::int32_t initResult = 0x378;

  private:
    FakeClock& m_clock;
    Log& m_log;
};

class RecordingProgress : public platform::ProgressDisplay {
  public:
    explicit RecordingProgress(Log& log) : m_log(log) {}
    void showProgress(int value) override {
        m_log.events.push_back("show " + std::to_string(value) +
                               (flags.printerSearch ? " searching" : ""));
    }
    void redraw() override { m_log.events.push_back("redraw"); }

  private:
    Log& m_log;
};

// The bytes the brackets must put on the ports, each 1 ms after the one before.
std::vector<Write> expectedWrites(const std::vector<const Bytes*>& perPort, std::uint32_t start) {
    std::vector<Write> out;
    std::uint32_t at = start;
    for (std::uint16_t port : {0x378, 0x3BC, 0x278, 0x2BC})
        for (const Bytes* sequence : perPort)
            for (std::uint8_t byte : *sequence)
                out.push_back({port, byte, ++at});
    return out;
}

struct Fixture {
    test::TempDir system;
    FakeClock clock;
    RecordingUi ui;
    Log log;
    RecordingApi api{clock, log};
    RecordingProgress progress{log};
    PrinterLink link{api, clock, ui, &progress, system.path()};

    std::string storedAddress() const { return test::readBytes(system / "kvprn.ini"); }
    void storeAddress(const std::string& value) {
        test::writeBytes(system / "kvprn.ini", "[LPT PORT]\r\nLPT_ADDRESS=" + value + "\r\n");
    }
};

TEST(PrinterLink, BracketsSendTheirSequencesToEveryPortOneMillisecondApart) {
    struct Case {
        const char* name;
        void (PrinterLink::*bracket)();
        std::vector<const Bytes*> perPort;
    };
    const Case cases[] = {
        {"select", &PrinterLink::lptSelect, {&kSelectFirst, &kSelectSecond}},
        {"release", &PrinterLink::lptRelease, {&kRelease}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.clock.advance(50);
        (f.link.*c.bracket)();
        EXPECT_EQ(f.log.writes, expectedWrites(c.perPort, 50)) << c.name;
        EXPECT_TRUE(f.log.events.empty()) << c.name;
    }
}

TEST(PrinterLink, QueryPrinterStateMapsIsReadyWithItsPauses) {
    struct Case {
        std::uint16_t code;
        PrinterState state;
        std::uint32_t pauseMs;
    };
    const Case cases[] = {
        {0, PrinterState::Ready, 0},   {1, PrinterState::NoPaper, 100},
        {2, PrinterState::Fault, 100}, {3, PrinterState::Busy, 0},
        {7, PrinterState::Busy, 0},    {0xFFFF, PrinterState::Busy, 0},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.api.readyCode = c.code;
        EXPECT_EQ(f.link.queryPrinterState(), c.state) << c.code;
        EXPECT_EQ(f.clock.tickMs(), c.pauseMs) << c.code;
    }
}

TEST(PrinterLink, FindPrinterWithoutStoredAddressSearchesWithTheSearchTextShown) {
    Fixture f;
    ASSERT_TRUE(f.link.findPrinter());

    EXPECT_TRUE(f.link.printerFound());
    EXPECT_FALSE(f.progress.flags.printerSearch);
    // Select (144 ms), 300 ms, reset, 300 ms, reset; the search; the last reset.
    EXPECT_EQ(f.log.events, (std::vector<std::string>{"reset@444", "reset@744", "show 0 searching",
                                                      "init 0", "redraw", "reset@744"}));
    const std::vector<Write> release = expectedWrites({&kRelease}, 744);
    ASSERT_GE(f.log.writes.size(), release.size());
    EXPECT_TRUE(std::equal(release.begin(), release.end(), f.log.writes.end() - 72));
    EXPECT_EQ(f.storedAddress(), "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");
    EXPECT_TRUE(f.ui.prompts().empty());
}

TEST(PrinterLink, FindPrinterWithAStoredAddressChecksItSilently) {
    struct Case {
        const char* stored;
        const char* asked;
        std::int32_t answer;
        const char* written;
    };
    const Case cases[] = {{"632", "init 632", 0x278, "632"},
                          {"632", "init 632", 0x3BC, "956"},
                          {" 888 ", "init 888", 0x378, "888"}};
    for (const Case& c : cases) {
        Fixture f;
        f.storeAddress(c.stored);
        f.api.initResult = c.answer;
        EXPECT_TRUE(f.link.findPrinter()) << c.stored;
        EXPECT_EQ(f.log.events,
                  (std::vector<std::string>{"reset@444", "reset@744", c.asked, "reset@744"}))
            << c.stored;
        EXPECT_EQ(f.storedAddress(),
                  std::string("[LPT PORT]\r\nLPT_ADDRESS=") + c.written + "\r\n");
        EXPECT_TRUE(f.ui.prompts().empty());
    }
}

TEST(PrinterLink, FindPrinterWithoutAnswerStoresZeroAndSaysSo) {
    for (const char* stored : {"", "888"}) {
        Fixture f;
        if (*stored)
            f.storeAddress(stored);
        f.api.initResult = 0;
        f.api.resetResults = {0, 5}; // the second reset fails: told, and the search goes on
        EXPECT_FALSE(f.link.findPrinter());

        EXPECT_FALSE(f.link.printerFound());
        EXPECT_EQ(f.storedAddress(), "[LPT PORT]\r\nLPT_ADDRESS=0\r\n");
        ASSERT_EQ(f.ui.prompts().size(), 2u);
        EXPECT_EQ(f.ui.prompts()[0].text, kMsgResetFailed);
        EXPECT_EQ(f.ui.prompts()[1].text,
                  "Kann nicht mit dem Drucker kommunizieren.\n Bitte überprüfen Sie den "
                  "Druckeranschluß oder die Stromversorgung des Druckers.");
        for (const auto& prompt : f.ui.prompts())
            EXPECT_EQ(prompt.icon, Icon::None);
        EXPECT_EQ(std::count_if(f.log.events.begin(), f.log.events.end(),
                                [](const std::string& e) { return e.rfind("reset", 0) == 0; }),
                  2)
            << "no reset after a failed search";
        EXPECT_EQ(f.log.writes.size(), 4u * 36 + 4u * 18) << "select, then release once";
    }
}

TEST(PrinterLink, ResetsBracketTheResetAndTellOnlyTheKeyResetsFailure) {
    struct Case {
        const char* name;
        void (PrinterLink::*reset)();
        std::uint16_t result;
        bool told;
    };
    const Case cases[] = {
        {"F4 ok", &PrinterLink::resetPrinter, 0, false},
        {"F4 failed", &PrinterLink::resetPrinter, 0x0100, true},
        {"binding", &PrinterLink::resetAfterBinding, 1, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.api.resetResults = {c.result};
        (f.link.*c.reset)();
        EXPECT_EQ(f.log.events, std::vector<std::string>{"reset@444"}) << c.name;
        std::vector<Write> expected = expectedWrites({&kSelectFirst, &kSelectSecond}, 0);
        for (std::uint32_t start : {444u, 516u})
            for (const Write& w : expectedWrites({&kRelease}, start))
                expected.push_back(w);
        EXPECT_EQ(f.log.writes, expected) << c.name;
        EXPECT_EQ(f.ui.texts(), c.told ? std::vector<std::string>{std::string(kMsgResetFailed)}
                                       : std::vector<std::string>{})
            << c.name;
    }
}

TEST(PrinterLink, WithoutTheLibraryEveryCallIsRefusedWithoutTouchingAPort) {
    test::TempDir system;
    FakeClock clock;
    RecordingUi ui;
    LoadedPortApi unbound;
    Log log;
    RecordingProgress progress(log);
    PrinterLink link(unbound, clock, ui, &progress, system.path());
    test::writeBytes(system / "kvprn.ini", "[LPT PORT]\r\nLPT_ADDRESS=632\r\n");

    EXPECT_FALSE(link.findPrinter());
    link.resetPrinter();
    EXPECT_NE(link.send(), 0u);
    EXPECT_EQ(link.queryPrinterState(), PrinterState::Busy);
    link.lptSelect();

    EXPECT_EQ(ui.texts(), (std::vector<std::string>{std::string(kMsgLibraryNotLoaded),
                                                    std::string(kMsgLibraryNotLoaded)}));
    EXPECT_EQ(ui.prompts()[0].icon, Icon::Stop);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(test::readBytes(system / "kvprn.ini"), "[LPT PORT]\r\nLPT_ADDRESS=632\r\n");
}

} // namespace
} // namespace kv::printer
