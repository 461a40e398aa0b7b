#include "jobs/page_proof.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace kv::jobs {

render::ExposureImage exposureOfPage(const printer::PageLevels& page) {
    render::ExposureImage exposure;
    for (int row = 0; row < render::kFrameHeight; ++row) {
        for (int column = 0; column < render::kFrameWidth; ++column) {
            render::Levels& levels = exposure.at(row, column);
            levels[render::kYellow] = static_cast<std::int16_t>(
                printer::PageLevels::yellowLevelEstimate(page.yellowSum(row, column)));
            levels[render::kMagenta] = static_cast<std::int16_t>(page.magenta(row, column));
            levels[render::kCyan] = static_cast<std::int16_t>(page.cyan(row, column));
        }
        for (int column = render::kFrameWidth; column < render::kLevelColumns; ++column)
            exposure.at(row, column).fill(render::kMarginLevel);
    }
    return exposure;
}

extern "C" int jobPageProof(void* context, const std::uint16_t* levels, std::uint8_t* rgb,
                            char* name, std::size_t nameSize) {
    if (!context || !levels || !rgb)
        return 0;
    // Called from the port library's C side: nothing may be thrown through it.
    try {
        const auto& proof = *static_cast<const render::LevelProof*>(context);
        printer::PageLevels page;
        page.values.assign(levels, levels + std::size_t(printer::PageLevels::kWidth) *
                                                printer::PageLevels::kHeight * 3);
        const render::SheetProof sheet = render::proofOfSheet(proof, exposureOfPage(page));
        std::copy(sheet.rgb.begin(), sheet.rgb.end(), rgb);
        if (name && nameSize > 0) {
            const std::string description = proof.description();
            const std::size_t length = std::min(description.size(), nameSize - 1);
            std::memcpy(name, description.data(), length);
            name[length] = '\0';
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

} // namespace kv::jobs
