#include "printer/command_block.h"
#include "printer/head_map.h"
#include "printer/port_library.h"
#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"

#include "platform/clock.h"
#include "support/png_pixels.h"
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPixels = std::size_t(PageLevels::kWidth) * PageLevels::kHeight;

// What a job's proof function saw and gives back.
struct HandedProof {
    bool succeed = true;
    std::vector<std::uint16_t> seen;
};

// Every channel of a pixel its own byte, so a picture taken from the wrong place shows.
extern "C" int patternProof(void* context, const std::uint16_t* levels, std::uint8_t* rgb,
                            char* name, std::size_t nameSize) {
    auto& handed = *static_cast<HandedProof*>(context);
    handed.seen.assign(levels, levels + kPixels * 3);
    if (!handed.succeed)
        return 0;
    for (std::size_t i = 0; i < kPixels * 3; ++i)
        rgb[i] = static_cast<std::uint8_t>(i * 7 % 251);
    std::snprintf(name, nameSize, "test calibration\nsecond line");
    return 1;
}

// One page through the port library's calls: a few raster lines of varied bytes, the
// rest never sent (white).
struct Rig {
    explicit Rig(bool rawPicture)
        : printer(clock, dir.path(), {.warmUpMs = 0, .writeRawPicture = rawPicture}), port(printer),
          api(port) {
        setSettleScale(0);
        api.setVirtualPrinter(&printer);
    }
    std::uint32_t command(std::uint8_t main, std::uint8_t sub, std::vector<std::uint8_t> data) {
        block.set(CommandBlock::Write, static_cast<std::uint16_t>(data.size()), main, sub);
        std::copy(data.begin(), data.end(), block.data());
        return api.commandSet(block.raw());
    }
    void printPage() {
        ASSERT_EQ(command(0x08, 0x00, {}), 0u);
        std::vector<std::uint8_t> line(kLineBytes);
        for (int n = 0; n < 40; ++n) {
            for (std::size_t i = 0; i < line.size(); ++i)
                line[i] = static_cast<std::uint8_t>((i * 13 + n * 29) % 256);
            ASSERT_EQ(command(0x00, 0x01, line), 0u);
        }
        ASSERT_EQ(command(0x02, 0x01, {0x00}), 0u);
    }

    test::TempDir dir;
    platform::FakeClock clock;
    VirtualPrinter printer;
    SimPort port;
    InProcessPortApi api;
    CommandBlock block;
};

// The picture a page without a job's proof shows: each dye's level / 4, rounded,
// yellow read from its element sum.
std::vector<std::uint8_t> levelsByFour(const PageLevels& page) {
    std::vector<std::uint8_t> rgb;
    const auto quarter = [](int level) {
        return static_cast<std::uint8_t>(std::min(255, (level + 2) / 4));
    };
    for (int row = 0; row < PageLevels::kHeight; ++row)
        for (int column = 0; column < PageLevels::kWidth; ++column) {
            rgb.push_back(quarter(page.cyan(row, column)));
            rgb.push_back(quarter(page.magenta(row, column)));
            rgb.push_back(quarter(PageLevels::yellowLevelEstimate(page.yellowSum(row, column))));
        }
    return rgb;
}

TEST(VirtualPrinterProof, PagePictureIsTheJobsProofOrTheLevelsByFour) {
    enum class Hand { Nothing, Proof, FailingProof, ProofTakenBack, ThrowingMaker };
    struct Case {
        const char* name;
        Hand hand;
        bool rawPicture;
    };
    for (const Case c : {Case{"no proof handed", Hand::Nothing, false},
                         Case{"raw picture beside it", Hand::Nothing, true},
                         Case{"the job's proof", Hand::Proof, false},
                         Case{"a proof that fails", Hand::FailingProof, true},
                         Case{"a proof taken back", Hand::ProofTakenBack, false},
                         Case{"a maker that throws", Hand::ThrowingMaker, false}}) {
        SCOPED_TRACE(c.name);
        Rig rig(c.rawPicture);
        HandedProof handed;
        handed.succeed = c.hand != Hand::FailingProof;
        if (c.hand == Hand::ThrowingMaker)
            rig.printer.setPageProof(
                [](const PageLevels&) -> std::optional<VirtualPrinter::PageProof> {
                    throw std::bad_alloc();
                });
        else if (c.hand != Hand::Nothing)
            rig.api.setPageProof(&patternProof, &handed);
        if (c.hand == Hand::ProofTakenBack)
            rig.api.setPageProof(nullptr, nullptr);
        rig.printPage();
        ASSERT_EQ(rig.printer.pagesWritten(), 1u);
        const PageLevels& page = rig.printer.lastPageLevels();

        const fs::path png = test::printedPage(rig.dir.path(), 1, "png");
        EXPECT_EQ(rig.printer.lastPagePath(), png);
        const test::RgbPixels picture = test::readPngPixels(png);
        ASSERT_EQ(picture.width, PageLevels::kWidth);
        ASSERT_EQ(picture.height, PageLevels::kHeight);
        const std::string state = test::readBytes(rig.printer.stateReportFile());
        EXPECT_NE(state.find("last page: " + png.string() + "\n"), std::string::npos) << state;

        const bool proofUsed = c.hand == Hand::Proof;
        if (c.hand == Hand::Proof || c.hand == Hand::FailingProof) {
            EXPECT_TRUE(handed.seen == page.values) << "the proof got other levels";
        }
        if (proofUsed) {
            std::vector<std::uint8_t> pattern(kPixels * 3);
            for (std::size_t i = 0; i < pattern.size(); ++i)
                pattern[i] = static_cast<std::uint8_t>(i * 7 % 251);
            EXPECT_TRUE(picture.rgb == pattern);
            EXPECT_NE(state.find("proof: test calibration second line\n"), std::string::npos)
                << state;
        } else {
            EXPECT_TRUE(picture.rgb == levelsByFour(page));
            EXPECT_NE(state.find("proof: " + std::string(VirtualPrinter::kPlainProofName) + "\n"),
                      std::string::npos)
                << state;
        }

        const fs::path ppm = test::printedPage(rig.dir.path(), 1, "ppm");
        EXPECT_EQ(fs::exists(ppm), c.rawPicture);
        if (c.rawPicture) {
            const std::vector<std::uint8_t> plain = levelsByFour(page);
            EXPECT_EQ(test::readBytes(ppm),
                      "P6\n640 480\n255\n" + std::string(plain.begin(), plain.end()));
        }
    }
}

} // namespace
} // namespace kv::printer
