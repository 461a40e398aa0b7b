// The virtual printer's own files (control, state, printer-state.txt) when something
// other than a regular file sits in their place, or the file is damaged: nothing
// crashes, nothing hangs, nothing is lost, and each trouble is told once.

#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;

VirtualPrinter::Options everyLook() {
    VirtualPrinter::Options o;
    o.warmUpMs = 0;
    o.controlIntervalMs = 0;
    return o;
}

std::size_t countMentioning(const std::vector<std::string>& told, const std::string& what) {
    std::size_t n = 0;
    for (const std::string& line : told)
        n += line.find(what) != std::string::npos ? 1 : 0;
    return n;
}

bool leftovers(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("control.taken", 0) == 0)
            return true;
    return false;
}

TEST(VirtualPrinterFiles, ControlThatIsNoRegularFileIsLeftAloneAndToldOnce) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& control, const fs::path& dir)> make;
    };
    const Case cases[] = {
        {"folder",
         [](const fs::path& c, const fs::path&) {
             fs::create_directory(c);
             test::writeBytes(c / "inside", "fault\n");
         }},
        {"named pipe", [](const fs::path& c, const fs::path&) { ::mkfifo(c.c_str(), 0600); }},
        {"link to a file of instructions",
         [](const fs::path& c, const fs::path& dir) {
             test::writeBytes(dir / "elsewhere", "fault\n");
             fs::create_symlink(dir / "elsewhere", c);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        platform::FakeClock clock;
        VirtualPrinter printer(clock, dir.path(), everyLook());
        std::vector<std::string> told;
        printer.setReport([&told](std::string_view text) { told.emplace_back(text); });
        const fs::path control = printer.controlFile();
        c.make(control, dir.path());

        for (int look = 0; look < 3; ++look)
            printer.pollControl();
        EXPECT_EQ(countMentioning(told, control.string()), 1u);
        EXPECT_TRUE(fs::exists(fs::symlink_status(control))) << "left where it was";
        EXPECT_FALSE(leftovers(dir.path()));
        EXPECT_NE(test::readBytes(printer.stateReportFile()).find("fault: no"), std::string::npos);

        // A regular file again: read, and a later trouble is told anew.
        fs::remove_all(control);
        test::writeBytes(control, "fault\n");
        printer.pollControl();
        EXPECT_NE(test::readBytes(printer.stateReportFile()).find("fault: yes"), std::string::npos);
        fs::create_directory(control);
        printer.pollControl();
        EXPECT_EQ(countMentioning(told, control.string()), 2u);
        EXPECT_FALSE(leftovers(dir.path()));
    }
}

TEST(VirtualPrinterFiles, StateAndMemoryFilesThatCannotBeUsed) {
    test::TempDir dir;
    platform::FakeClock clock;
    {
        // A folder where the state file belongs: told once, written as soon as it is gone.
        VirtualPrinter printer(clock, dir.path(), everyLook());
        std::vector<std::string> told;
        printer.setReport([&told](std::string_view text) { told.emplace_back(text); });
        fs::create_directory(printer.stateReportFile());
        printer.pollControl();
        test::writeBytes(printer.controlFile(), "paper out\n");
        printer.pollControl();
        printer.pollControl();
        EXPECT_EQ(countMentioning(told, printer.stateReportFile().string()), 1u);
        fs::remove(printer.stateReportFile());
        printer.pollControl();
        EXPECT_NE(test::readBytes(printer.stateReportFile()).find("paper: out"), std::string::npos);
    }

    // A damaged memory file: told, kept aside whole, factory values.
    const fs::path memory = dir / "printer-state.txt";
    test::writeBytes(memory, "heater_target=zz\n");
    {
        VirtualPrinter printer(clock, dir.path(), everyLook());
        std::vector<std::string> told;
        printer.setReport([&told](std::string_view text) { told.emplace_back(text); });
        EXPECT_EQ(printer.memory(), PrinterMemory::factoryDefaults());
        ASSERT_EQ(countMentioning(told, memory.string()), 1u);
        EXPECT_EQ(test::readBytes(dir / "printer-state.txt.damaged"), "heater_target=zz\n");
    }

    // A folder in its place: told, factory values, and left as it is.
    fs::remove(memory);
    fs::create_directory(memory);
    VirtualPrinter printer(clock, dir.path(), everyLook());
    std::vector<std::string> told;
    printer.setReport([&told](std::string_view text) { told.emplace_back(text); });
    EXPECT_EQ(printer.memory(), PrinterMemory::factoryDefaults());
    EXPECT_EQ(countMentioning(told, memory.string()), 1u);
    EXPECT_TRUE(fs::is_directory(memory));
}

} // namespace
} // namespace kv::printer
