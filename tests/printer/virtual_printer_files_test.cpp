// The virtual printer's own files when something other than a regular file sits in
// their place, or the memory file is damaged: nothing is followed, nothing lost, and
// each trouble is told once. (A control folder or pipe under a real server: the
// print server's tests.)

#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;

// A virtual printer in `dir` whose reports are kept in `told`.
struct Watched {
    explicit Watched(const fs::path& dir)
        : printer(clock, dir, {.warmUpMs = 0, .controlIntervalMs = 0}) {
        printer.setReport([this](std::string_view text) { told.emplace_back(text); });
    }
    std::size_t toldAbout(const fs::path& file) const {
        std::size_t n = 0;
        for (const std::string& line : told)
            n += line.find(file.string()) != std::string::npos;
        return n;
    }
    platform::FakeClock clock;
    VirtualPrinter printer;
    std::vector<std::string> told;
};

TEST(VirtualPrinterFiles, NoRegularFileIsLeftAloneAndToldOnceDamageIsKept) {
    test::TempDir dir;
    {
        Watched w(dir.path());
        // A link to instructions is not followed; a folder as state file is not written.
        test::writeBytes(dir / "elsewhere", "fault\n");
        fs::create_symlink(dir / "elsewhere", w.printer.controlFile());
        fs::create_directory(w.printer.stateReportFile());
        for (int look = 0; look < 3; ++look)
            w.printer.pollControl();
        EXPECT_EQ(w.toldAbout(w.printer.controlFile()), 1u);
        EXPECT_EQ(w.toldAbout(w.printer.stateReportFile()), 1u);
        EXPECT_TRUE(fs::is_symlink(w.printer.controlFile()));
        // Both as they should be again: read and written.
        fs::remove(w.printer.controlFile());
        fs::remove(w.printer.stateReportFile());
        test::writeBytes(w.printer.controlFile(), "fault\n");
        w.printer.pollControl();
        EXPECT_NE(test::readBytes(w.printer.stateReportFile()).find("fault: yes"),
                  std::string::npos);
    }
    // A damaged memory file: told, kept aside whole, factory values.
    test::writeBytes(dir / "printer-state.txt", "heater_target=zz\n");
    Watched w(dir.path());
    EXPECT_EQ(w.printer.memory(), PrinterMemory::factoryDefaults());
    EXPECT_EQ(w.toldAbout(dir / "printer-state.txt"), 1u);
    EXPECT_EQ(test::readBytes(dir / "printer-state.txt.damaged"), "heater_target=zz\n");
}

} // namespace
} // namespace kv::printer
