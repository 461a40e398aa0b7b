#pragma once

// A page the virtual printer printed against the print levels a job computed.
#include "printer/virtual_printer.h"
#include "render/print_images.h"

namespace kv::test {

// How many of the sheet's picture pixels the page prints with other levels.
inline int levelsDisagreeing(const printer::PageLevels& page,
                             const render::ExposureImage& exposure) {
    int wrong = 0;
    for (int row = 0; row < render::kFrameHeight; ++row)
        for (int column = 0; column < render::kFrameWidth; ++column) {
            const render::Levels& v = exposure.at(row, column);
            wrong += !page.agrees(row, column, v[render::kYellow], v[render::kMagenta],
                                  v[render::kCyan]);
        }
    return wrong;
}

} // namespace kv::test
