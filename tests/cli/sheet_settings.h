#pragma once

// A program directory whose settings switch every colour stage on, with a
// colour-matching table and hue-sector values of its own, so that no question is
// asked and the whole pipeline shows on the sheet.
#include "support/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace kv::cli {

inline void writeSettings(const std::filesystem::path& home) {
    std::filesystem::create_directories(home);
    test::writeBytes(home / "kvx00.ini", "[Image]\r\nMatchFile=probe.cct\r\nContrast=1\r\n"
                                         "Saturation=1\r\nSatValue=1.5\r\nColorControl=1\r\n"
                                         "Edge=3\r\nEdgeEnhanceR=0.8\r\nDigitalCamera=1\r\n"
                                         "[ColCorPalam]\r\nRg=6.0\r\nSrt=1.2\r\n");
    std::string cct(54 + 1089 * 100, '\0');
    const auto put32 = [&cct](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            cct[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
    };
    cct[0] = 'B';
    cct[1] = 'M';
    put32(2, std::uint32_t(cct.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 33);
    put32(22, 1089);
    cct[26] = 1;
    cct[28] = 24;
    for (std::size_t i = 54; i < cct.size(); ++i)
        cct[i] = char((i * 7) & 0xFF);
    test::writeBytes(home / "probe.cct", cct);
}

} // namespace kv::cli
