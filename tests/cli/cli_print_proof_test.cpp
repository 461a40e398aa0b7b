// kvphoto-cli print hands the job's calibration to the virtual printer: the page's
// picture is the proof of the levels in the colours of that calibration.
#include "adjust/picture_adjust_settings.h"
#include "cli_runner.h"
#include "media/media_service.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "printer/led_table.h"
#include "printer/virtual_printer.h"
#include "render/print_preparation.h"
#include "render/print_proof.h"
#include "sheet_settings.h"
#include "support/png_pixels.h"
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

TEST(CliPrintProof, PagePictureIsTheProofInTheJobsCalibration) {
    struct Case {
        const char* name;
        const char* colorControl; // the exposure conversion in full, or 4 x v
    };
    for (const Case c : {Case{"every stage on", "1"}, Case{"plain levels", "4"}}) {
        SCOPED_TRACE(c.name);
        Cli cli;
        writeSettings(cli.home());
        std::string ini = test::readBytes(cli.home() / "kvx00.ini");
        ini.replace(ini.find("ColorControl=1"), 14, std::string("ColorControl=") + c.colorControl);
        test::writeBytes(cli.home() / "kvx00.ini", ini);
        const fs::path picture = cli.root() / "pics/p.bmp";
        fs::create_directories(picture.parent_path());
        platform::Bitmap24 bitmap = platform::Bitmap24::make(640, 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                std::uint8_t* p = bitmap.at(x, y);
                p[0] = std::uint8_t(x / 3 + y / 5);
                p[1] = std::uint8_t(255 - y / 2);
                p[2] = std::uint8_t(x * 2 / 5);
            }
        ASSERT_TRUE(platform::imagelib::WriteBmpFile(picture, bitmap));
        const fs::path out = cli.root() / "out";
        const Result r =
            cli.run({"print", "--quiet", picture.string()},
                    {{"KVPR_PORT", "sim"}, {"KVPR_SIM_OUT", QString::fromStdString(out.string())}});
        ASSERT_EQ(r.code, 0) << r.err;

        // The job's levels in process, and their proof with yellow as the printer
        // knows it (by its element sum).
        platform::RecordingUi ui;
        const adjust::PictureAdjustSettings settings =
            adjust::loadPictureAdjustSettings(cli.home());
        media::MediaState media;
        printer::LedTable leds;
        media::loadMediaAtStart(cli.home(), media, leds, ui);
        const render::PrintInputs inputs{settings, true, media.calibration, media.gamma,
                                         cli.home()};
        auto images = std::make_unique<render::JobImages>();
        ASSERT_TRUE(render::preparePrintLevels(picture, inputs, *images, ui));
        for (int y = 0; y < render::kFrameHeight; ++y)
            for (int x = 0; x < render::kFrameWidth; ++x) {
                std::int16_t& yellow = images->exposure.at(y, x)[render::kYellow];
                yellow = static_cast<std::int16_t>(printer::PageLevels::yellowLevelEstimate(
                    printer::PageLevels::yellowSumOf(yellow)));
            }
        const render::LevelProof proof = render::LevelProof::forInputs(inputs);
        EXPECT_EQ(proof.plain(), std::string(c.colorControl) == "4");
        const render::SheetProof expected = render::proofOfSheet(proof, images->exposure);

        const test::RgbPixels page = test::readPngPixels(test::printedPage(out, 1, "png"));
        ASSERT_EQ(page.width, 640);
        ASSERT_EQ(page.height, 480);
        EXPECT_TRUE(page.rgb == expected.rgb);
        const std::string state = test::readBytes(out / "state");
        EXPECT_NE(state.find("proof: " + proof.description() + "\n"), std::string::npos) << state;
    }
}

} // namespace
} // namespace kv::cli
