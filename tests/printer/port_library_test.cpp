#include "platform/clock.h"
#include "platform/recording_ui.h"
#include "printer/command_block.h"
#include "printer/port_backend.h"
#include "printer/port_library.h"
#include "printer/printer_commands.h"
#include "printer/printer_link.h"
#include "printer/printer_messages.h"
#include "printer/virtual_printer.h"
#include "scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::printer {
namespace {

using platform::FakeClock;
using platform::RecordingUi;
using Icon = platform::Ui::Icon;

constexpr std::uint8_t kReadValue = 0xFF;
constexpr std::uint8_t kWarmUpState = 0x06;

// The library's backend is the virtual printer, warmed up at once, writing into a
// folder of this test.
struct SimLibrary {
    test::TempDir out;
    ScopedEnv env;
    SimLibrary() {
        env.set("KVPR_PORT", "sim");
        env.set("KVPR_SIM_WARMUP_MS", "0");
        env.set("KVPR_SIM_OUT", out.path().c_str());
        env.set("KVPR_PORT_TRACE", nullptr);
        env.set("KVPR_PORT_LIBRARY", KV_LPTCORE);
    }
};

std::uint32_t readWarmUpState(PortApi& api, CommandBlock& block) {
    block.set(CommandBlock::Read, 1, kReadValue, kWarmUpState);
    block.data()[0] = 0;
    return api.commandSet(block.raw());
}

TEST(PortLibrary, TheBuiltLibraryDrivesTheVirtualPrinter) {
    SimLibrary sim;
    PortLibrary library;
    ASSERT_EQ(library.load(), PortLibraryStatus::Loaded) << library.error();
    PortApi& api = library.api();

    EXPECT_FLOAT_EQ(api.getDllVersion(), 0.03f);
    EXPECT_EQ(api.initPort(0), 0x378);
    EXPECT_EQ(api.initPort(0x378), 0x378);
    EXPECT_EQ(api.initPort(0x278), 0) << "nothing answers there";
    EXPECT_EQ(api.initPort(0x1234), 0) << "not a parallel port";
    EXPECT_EQ(api.isReady(), 0);
    EXPECT_EQ(api.lptReset(), 0);

    CommandBlock block;
    EXPECT_EQ(readWarmUpState(api, block), 0u);
    EXPECT_EQ(block.result(), 0);
    EXPECT_EQ(block.data()[0], 3) << "warmed up";

    library.unload();
    EXPECT_FALSE(library.loaded());
    EXPECT_NE(readWarmUpState(api, block), 0u) << "refused once unloaded";
}

TEST(PortLibrary, BindingTellsWhatIsMissingAndResetsOnlyAWholeLibrary) {
    struct Case {
        const char* file;
        PortLibraryStatus status;
        const char* message;
    };
    const Case cases[] = {
        {KV_LPTCORE, PortLibraryStatus::Loaded, nullptr},
        {"/nonexistent/liblptcore.so", PortLibraryStatus::NotFound,
         "Dll kann nicht geladen werden."},
        {KV_LIB_NO_RESET, PortLibraryStatus::NoReset,
         "Die Funktion Zurücksetzen kann nicht geladen werden."},
        {KV_LIB_NO_VERSION, PortLibraryStatus::NoVersion,
         "Die Funktion kann nicht geladen werden."},
        // LPT_WriteData is our own addition: a library without it still binds.
        {KV_LIB_FIVE, PortLibraryStatus::Loaded, nullptr},
    };
    for (const Case& c : cases) {
        SimLibrary sim;
        sim.env.set("KVPR_PORT_LIBRARY", c.file);
        test::TempDir system;
        FakeClock clock;
        RecordingUi ui;
        PortLibrary library;
        PrinterLink link(library.api(), clock, ui, nullptr, system.path());

        EXPECT_EQ(bindPortLibrary(library, link), c.status) << c.file;
        EXPECT_EQ(library.loaded(), c.message == nullptr) << c.file;
        if (c.message) {
            ASSERT_EQ(ui.prompts().size(), 1u) << c.file;
            EXPECT_EQ(ui.prompts()[0].text, c.message);
            EXPECT_EQ(ui.prompts()[0].icon, Icon::Stop);
            EXPECT_EQ(clock.tickMs(), 0u) << "no reset without the library";
        } else {
            EXPECT_TRUE(ui.prompts().empty());
            EXPECT_EQ(clock.tickMs(), 144u + 300u + 2 * 72u) << "select, 300 ms, release twice";
        }
    }
}

// Another maker's library has the five standard entry points only: the brackets then
// send no sequences, and the port search, the print preparation and a page still go
// through to the printer.
TEST(PortLibrary, FiveEntryPointsDriveThePrinterWithoutTheSequences) {
    SimLibrary sim;
    sim.env.set("KVPR_PORT_LIBRARY", KV_LIB_FIVE);
    test::TempDir system;
    FakeClock clock;
    RecordingUi ui;
    PortLibrary library;
    PrinterLink link(library.api(), clock, ui, nullptr, system.path());
    ASSERT_EQ(bindPortLibrary(library, link), PortLibraryStatus::Loaded) << library.error();
    EXPECT_FALSE(library.writesSequences());

    EXPECT_TRUE(link.findPrinter());
    EXPECT_EQ(test::readBytes(system / "kvprn.ini"), "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");
    EXPECT_EQ(checkPrintParameters(link), kSequenceOk);
    EXPECT_EQ(waitWarmUp(link), kSequenceOk);
    EXPECT_EQ(startPage(link), kCommandSent);
    const std::vector<std::uint8_t> line(kRasterLineBytes, 0x10);
    EXPECT_EQ(sendRasterLine(link, line.data()), 0u);
    EXPECT_EQ(endPage(link, kEndPageComplete), 0u);
    link.lptRelease();
    EXPECT_EQ(link.queryPrinterState(), PrinterState::Ready);
    EXPECT_TRUE(ui.prompts().empty());
    EXPECT_TRUE(std::filesystem::exists(sim.out / "page-0001.png"));
    library.unload();

    sim.env.set("KVPR_PORT_LIBRARY", KV_LPTCORE);
    ASSERT_EQ(library.load(), PortLibraryStatus::Loaded);
    EXPECT_TRUE(library.writesSequences());
}

// KVPR_PORT_TRACE through the built library: the lines are in the file while the library
// still runs (a killed run keeps them), and a file that cannot be opened is told once.
TEST(PortLibrary, TraceIsWrittenAsItGoesOrToldOnce) {
    test::TempDir dir;
    test::writeBytes(dir / "blocked", "a file where a folder should be");
    const struct {
        std::filesystem::path trace;
        bool opens;
    } cases[] = {{dir / "port.trace", true}, {dir / "blocked" / "port.trace", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trace.string());
        SimLibrary sim;
        sim.env.set("KVPR_PORT_TRACE", c.trace.c_str());
        PortLibrary library;
        ASSERT_EQ(library.load(), PortLibraryStatus::Loaded) << library.error();
        testing::internal::CaptureStderr();
        EXPECT_EQ(library.api().initPort(0), 0x378);
        EXPECT_EQ(library.api().isReady(), 0);
        CommandBlock block;
        EXPECT_EQ(readWarmUpState(library.api(), block), 0u);
        const std::string err = testing::internal::GetCapturedStderr();

        if (c.opens) {
            EXPECT_EQ(err, "");
            const std::string trace = test::readBytes(c.trace);
            EXPECT_TRUE(trace.starts_with("in 0x37a ")) << trace.substr(0, 40);
            EXPECT_TRUE(trace.ends_with("out 0x37a 0x00\n"));
        } else {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
            EXPECT_TRUE(err.starts_with("Die Mitschrift des Druckeranschlusses " +
                                        c.trace.string() + " (KVPR_PORT_TRACE)"))
                << err;
        }
        library.unload();
    }
}

TEST(PortLibrary, VersionCheckLoadsItsOwnCopy) {
    struct Case {
        const char* file;
        PortLibraryStatus status;
        float version;
    };
    const Case cases[] = {
        {KV_LPTCORE, PortLibraryStatus::Loaded, 0.03f},
        {KV_LIB_NO_RESET, PortLibraryStatus::Loaded, 0.01f}, // only the version is asked
        {KV_LIB_NO_VERSION, PortLibraryStatus::NoVersion, 0},
        {"/nonexistent/liblptcore.so", PortLibraryStatus::NotFound, 0},
    };
    for (const Case& c : cases) {
        SimLibrary sim;
        PortLibrary bound;
        ASSERT_EQ(bound.load(), PortLibraryStatus::Loaded);
        sim.env.set("KVPR_PORT_LIBRARY", c.file);
        PortLibrary checker;
        const PortLibrary::VersionCheck check = checker.checkVersion();
        EXPECT_EQ(check.status, c.status) << c.file;
        EXPECT_FLOAT_EQ(check.version, c.version) << c.file;
        EXPECT_TRUE(bound.loaded()) << "the bound library is left alone";
        EXPECT_FLOAT_EQ(bound.api().getDllVersion(), 0.03f);
    }
}

TEST(PortLibrary, FoundBesideTheProgramUnlessNamed) {
    test::TempDir folder;
    ScopedEnv env;
    env.set("KVPR_PORT_LIBRARY", nullptr);
    PortLibrary library(folder.path());
    EXPECT_EQ(library.location(), "liblptcore.so") << "the search path when not beside it";
    test::writeBytes(folder / "liblptcore.so", "");
    EXPECT_EQ(library.location(), folder / "liblptcore.so");
    env.set("KVPR_PORT_LIBRARY", "/opt/x/liblptcore.so");
    EXPECT_EQ(library.location(), "/opt/x/liblptcore.so");
    EXPECT_EQ(library.load(), PortLibraryStatus::NotFound);
    EXPECT_FALSE(library.error().empty());
}

// Installed: bin/kvphoto finds the library where the install rules put it, unless a
// build folder's own copy lies beside the program.
TEST(PortLibrary, FoundInThePackageLibraryFolderAfterTheProgramsFolder) {
    test::TempDir prefix;
    const std::filesystem::path bin = prefix / "bin";
    const std::filesystem::path installed = prefix / KV_INSTALL_PKGLIBDIR / "liblptcore.so";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(installed.parent_path());
    ScopedEnv env;
    env.set("KVPR_PORT_LIBRARY", nullptr);
    PortLibrary library(bin);
    test::writeBytes(installed, "");
    EXPECT_EQ(library.location(), installed);
    test::writeBytes(bin / "liblptcore.so", "");
    EXPECT_EQ(library.location(), bin / "liblptcore.so");
}

// The port library's functions in process, over the virtual printer's backend.
TEST(InProcessPortApi, ReadinessResetAndSearchOnTheVirtualPrinter) {
    test::TempDir out;
    BackendOptions options;
    options.simOutput = out.path();
    options.warmUpMs = 0;
    options.tracePath = out / "port.trace";
    {
        auto backend = makePortBackend(options, {});
        VirtualPrinter& printer = *backend->virtualPrinter();
        InProcessPortApi api(backend->io(), backend->hooks());

        struct Case {
            bool paperOut, fault, busy;
            std::uint16_t code;
        };
        const Case cases[] = {{false, false, false, 0},
                              {true, false, false, 1},
                              {false, true, false, 2},
                              {false, false, true, 3}};
        for (const Case& c : cases) {
            printer.setPaperOut(c.paperOut);
            printer.setFault(c.fault);
            printer.setBusy(c.busy);
            EXPECT_EQ(api.isReady(), c.code) << c.code;
        }
        printer.clearFaults();
        printer.setBusy(false);

        EXPECT_EQ(api.initPort(0), 0x378);
        EXPECT_EQ(api.lptReset(), 0);
        api.writeData(0x278, 0x4A);

        // Bound to a port where nothing answers, readiness is never claimed.
        InProcessPortApi elsewhere(backend->io(), backend->hooks());
        EXPECT_EQ(elsewhere.initPort(0x278), 0);
        EXPECT_EQ(elsewhere.isReady(), 0) << "still on LPT1";
        PortCore::Hooks onlyLpt2{[](std::uint16_t base) { return base == 0x278; }, {}};
        InProcessPortApi noPort(backend->io(), onlyLpt2);
        EXPECT_EQ(noPort.isReady(), 3) << "an empty slot reads 0xFF, which is not ready";
    }
    const std::string trace = test::readBytes(out / "port.trace");
    EXPECT_NE(trace.find("out 0x278 0x4a"), std::string::npos);
    EXPECT_NE(trace.find("in 0x379 "), std::string::npos);
}

} // namespace
} // namespace kv::printer
