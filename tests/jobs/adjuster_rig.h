#pragma once

// A printer adjuster against the virtual printer on virtual time.
#include "platform/clock.h"
#include "platform/recording_ui.h"
#include "printer/led_table.h"
#include "printer/port_library.h"
#include "printer/port_protocol.h"
#include "printer/printer_commands.h"
#include "printer/printer_link.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

namespace kv::jobs::test_rig {

struct AdjusterRig {
    AdjusterRig() {
        printer::setSettleScale(0);
        std::filesystem::create_directories(folders.home());
        std::filesystem::create_directories(folders.system());
    }

    // Puts a value into the printer as a service technician would have left it.
    void preset(std::uint8_t parameter, std::uint8_t value) {
        const std::uint8_t bytes[] = {value};
        printer::writeValue(link, parameter, bytes);
    }
    void presetLedTable(std::uint8_t red36, std::uint8_t green36, std::uint8_t blue36) {
        std::array<std::uint8_t, printer::kLedTableBytes> table{};
        table.fill(7);
        table[36] = red36;
        table[71 + 36] = green36;
        table[142 + 36] = blue36;
        printer::writeValue(link, printer::parameter::kLedTable, table);
    }
    // TEMPERA.TUR with the factor f(i) for every colour.
    void writeCurves(float (*f)(int)) {
        std::string bytes;
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 71; ++i) {
                const float value = f(i);
                bytes.append(reinterpret_cast<const char*>(&value), 4);
            }
        test::writeBytes(folders.home() / "TEMPERA.TUR", bytes);
    }

    bool resetOk = true;
    test::ScopedProgramFolders folders;
    platform::FakeClock clock;
    platform::RecordingUi ui;
    printer::VirtualPrinter vp{clock, folders.home() / "vp", {.warmUpMs = 0}};
    printer::SimPort port{vp};
    printer::InProcessPortApi api{port, {.hasPort = {}, .afterReset = [this] {
                                             vp.reset();
                                             return resetOk;
                                         }}};
    printer::PrinterLink link{api, clock, ui, nullptr, folders.system()};
    printer::LedTable leds;
};

} // namespace kv::jobs::test_rig
