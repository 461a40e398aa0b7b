#pragma once

#include "media/media_files.h"
#include "media/media_service.h"
#include "platform/clock.h"
#include "platform/recording_ui.h"
#include "printer/port_library.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "support/temp_dir.h"

#include <string>

namespace kv::media::test {

// The port library in process, counting the LED table writes (parameter 0x20).
class CountingApi : public printer::InProcessPortApi {
  public:
    using InProcessPortApi::InProcessPortApi;
    std::uint32_t commandSet(std::uint8_t* raw) override {
        const auto& block = *reinterpret_cast<const printer::CommandBlock*>(raw);
        if (block.mainCommand() == 0xFE && block.subCommand() == 0x20)
            ++ledWrites;
        return InProcessPortApi::commandSet(raw);
    }
    int ledWrites = 0;
};

// A program folder and a system folder, the virtual printer on a fake clock, and a
// Media.rtb whose row M has the sensitivities 1.5, 0.5, 1.0 (so an upload changes
// the printer's factory table of 0x80 entries), loaded as at start, and a flat
// TEMPERA.TUR.
struct PrinterRig {
    kv::test::TempDir home, system;
    platform::FakeClock clock;
    platform::RecordingUi ui;
    printer::VirtualPrinter printer{clock, home / "vp", {.warmUpMs = 0}};
    printer::SimPort port{printer};
    bool present = true;
    CountingApi api{port,
                    {.hasPort = [this](std::uint16_t) { return present; },
                     .afterReset =
                         [this] {
                             printer.reset();
                             return true;
                         }}};
    printer::PrinterLink link{api, clock, ui, nullptr, system.path()};
    MediaState media;
    printer::LedTable ledTable;
    MediaContext context{link, media, ledTable, home.path(), system.path()};

    PrinterRig() {
        MediaRankTable table = MediaRankTable::defaults();
        table.sensC[12] = 1.5f;
        table.sensM[12] = 0.5f;
        table.sensC[1] = 0.8f;
        kv::test::writeBytes(home / "Media.rtb", table.toBytes());
        std::string tempera;
        for (int i = 0; i < 213; ++i)
            tempera += std::string("\0\0\x80\x3f", 4); // 1.0f, little-endian
        kv::test::writeBytes(home / "TEMPERA.TUR", tempera);
        loadRankTable(home.path(), media.rankTable, ui);
    }
};

} // namespace kv::media::test
