// "Druckansicht (Proof)": the window shows the sheet from the levels a job sends, and
// that picture is the one the virtual printer puts out for the printed page.
#include "jobs/page_proof.h"
#include "platform/imagelib/image_library.h"
#include "platform/paths.h"
#include "platform/recording_ui.h"
#include "printer/scoped_env.h"
#include "render/layout_composition.h"
#include "render/print_preparation.h"
#include "render/print_proof.h"
#include "render/print_window.h"
#include "render/sheet_proof.h"
#include "shell/main_window.h"
#include "support/drop_files.h"
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QColorSpace>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using platform::Bitmap24;

// 320 x 240 of muted colours running through every hue, darker towards the bottom:
// levels of every size, and room for saturation to push them apart.
Bitmap24 mutedHues() {
    Bitmap24 bitmap = Bitmap24::make(320, 240);
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x) {
            const double hue = 6.283185 * x / bitmap.width;
            const double light = 200.0 - 150.0 * y / bitmap.height;
            std::uint8_t* p = bitmap.at(x, y);
            p[2] = static_cast<std::uint8_t>(light + 35 * std::cos(hue));
            p[1] = static_cast<std::uint8_t>(light + 35 * std::cos(hue - 2.094395));
            p[0] = static_cast<std::uint8_t>(light + 35 * std::cos(hue + 2.094395));
        }
    return bitmap;
}

// The pixels alone: a PNG file says it is sRGB, the window's image says nothing.
QImage rgb(const QImage& image) {
    QImage pixels = image.convertToFormat(QImage::Format_RGB888);
    pixels.setColorSpace(QColorSpace());
    return pixels;
}

// The mean spread between a pixel's strongest and weakest channel.
double meanChroma(const QImage& image) {
    const QImage picture = rgb(image);
    double sum = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* line = picture.constScanLine(y);
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* p = line + x * 3;
            sum += std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]});
        }
    }
    return sum / (double(picture.width()) * picture.height());
}

class PrintProofView : public ::testing::Test {
  protected:
    void SetUp() override {
        env.set("KVPR_PORT", "sim");
        env.set("KVPR_SIM_OUT", out.path().string().c_str());
        env.set("KVPR_SIM_WARMUP_MS", "0");
        // The shipped calibration: the full exposure conversion, not its fallback.
        for (const char* name : {"Media.rtb", "BasMedia.ini", "TEMPERA.TUR"})
            fs::copy_file(fs::path(KV_DATA_DIR) / name, shipped / name);
        window = std::make_unique<MainWindow>(state, &ui);
        ASSERT_TRUE(window->create(shipped.path()));
        window->session().setUpPrinterPort();
        window->resize(1000, 900);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        view = qobject_cast<render::PrintWindow*>(window->printWindow());
        ASSERT_TRUE(view);
        proofAction = window->findChild<QAction*>("ProofViewAction");
        markAction = window->findChild<QAction*>("MarkUnprintableAction");
        ASSERT_TRUE(proofAction && markAction);

        const fs::path file = pictures / "hues.bmp";
        ASSERT_TRUE(platform::imagelib::WriteBmpFile(file, mutedHues()));
        test::dropFiles(*window, {file});
        ASSERT_EQ(state.albums.pictureCount, 1);
        state.albums.select(0);
        state.albums.setLoaded(state.albums.selectedPicture());
        window->dispatch(CommandId::DisplaySelected);
        ui.clear();
    }

    // Waits for the proof the view is making; the finished proof.
    QImage finishedProof() {
        QTest::qWait(1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !view->proofPending(); }, 20000));
        return view->proofImage();
    }
    // What the print window shows now.
    QImage shown() {
        QTest::qWait(1);
        return rgb(view->grab().toImage());
    }

    // "Aktuelles Photo drucken" to the virtual printer; false when no page came.
    bool print(int page) {
        ui.script(Answer::Yes); // no colour-matching table here: print without
        window->dispatch(CommandId::PrintCurrent);
        QElapsedTimer clock;
        clock.start();
        while (state.printBusy && clock.elapsed() < 60000)
            QTest::qWait(10);
        return fs::exists(test::printedPage(out.path(), page, "png"));
    }

    // The levels a job makes of the window's current sheet, read back as this job's
    // calibration reads them.
    struct JobSheet {
        std::unique_ptr<render::JobImages> images = std::make_unique<render::JobImages>();
        std::optional<render::LevelProof> proof;
    };
    JobSheet jobSheet() {
        JobSheet sheet;
        platform::RecordingUi quiet;
        const std::optional<fs::path> file =
            render::prepareSheetFile(state, quiet, folders.driveC() / "job-check");
        EXPECT_TRUE(file);
        if (!file)
            return sheet;
        const media::MediaContext media = window->session().mediaContext();
        const render::PrintInputs inputs{
            window->session().pictureSettings(),
            render::proofUsesMatchTable(window->session().pictureSettings()),
            media.media.calibration, media.media.gamma, media.programDir};
        EXPECT_TRUE(render::preparePrintLevels(*file, inputs, *sheet.images, quiet));
        sheet.proof = render::LevelProof::forInputs(inputs);
        return sheet;
    }

    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::TempDir out;
    test::TempDir pictures;
    printer::ScopedEnv env;
    AppState state;
    platform::RecordingUi ui;
    std::unique_ptr<MainWindow> window;
    render::PrintWindow* view = nullptr;
    QAction* proofAction = nullptr;
    QAction* markAction = nullptr;
};

TEST_F(PrintProofView, MenuItemsShowTheProofAndItFollowsTheSaturation) {
    // Off to begin with (the menu's captions are the main window test's): the preview
    // stays as it was.
    EXPECT_FALSE(proofAction->isChecked());
    EXPECT_FALSE(markAction->isEnabled()) << "marks only in the proof";
    const QImage preview = shown();

    proofAction->trigger();
    EXPECT_TRUE(markAction->isEnabled());
    const QImage plain = finishedProof();
    ASSERT_EQ(plain.size(), QSize(640, 480));
    const QImage proofShown = shown();
    EXPECT_NE(proofShown, preview);

    // Saturation on, as the quality dialog sets it live: the view finds it by itself,
    // and the print's colours are stronger.
    adjust::PictureAdjustSettings& settings = window->session().pictureSettings();
    settings.saturation = adjust::kSaturationManual;
    settings.satValue = 1.8f;
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->proofImage() != plain; }, 20000));
    const QImage saturated = finishedProof();
    EXPECT_GT(meanChroma(saturated), meanChroma(plain) + 3)
        << meanChroma(saturated) << " " << meanChroma(plain);
    EXPECT_NE(shown(), proofShown);

    // The marks hatch the pixels whose levels no colour prints, and nothing else.
    const JobSheet sheet = jobSheet();
    ASSERT_TRUE(sheet.proof);
    const render::SheetProof truth = render::proofOfSheet(*sheet.proof, sheet.images->exposure);
    const bool unreachable =
        std::find(truth.outOfReach.begin(), truth.outOfReach.end(), 1) != truth.outOfReach.end();
    const QImage unmarked = shown();
    markAction->trigger();
    EXPECT_EQ(shown() != unmarked, unreachable);
    markAction->trigger();
    EXPECT_EQ(shown(), unmarked);

    // Off again: the preview as before.
    settings.saturation = adjust::kSaturationNone;
    proofAction->trigger();
    EXPECT_FALSE(markAction->isEnabled());
    EXPECT_EQ(shown(), preview);
}

TEST_F(PrintProofView, PrintedPageAndWindowShowTheSameProof) {
    struct Case {
        const char* name;
        CommandId layout;
        QStringList render; // kvphoto-cli render's arguments for the same sheet
    };
    const QString file = QString::fromStdString((pictures / "hues.bmp").string());
    proofAction->trigger();
    int page = 0;
    for (const Case& c : {Case{"1 in 1", CommandId::LayoutOneUp, {"--layout", "1", file}},
                          Case{"4 in 1", CommandId::LayoutFourUp, {"--layout", "4", file}},
                          Case{"16 in 1", CommandId::LayoutSixteenUp, {"--layout", "16"}}}) {
        SCOPED_TRACE(c.name);
        window->dispatch(c.layout);
        view->refreshProof();
        const QImage windowProof = rgb(finishedProof());
        ASSERT_EQ(windowProof.size(), QSize(640, 480));

        // kvphoto-cli's proof of the same sheet, on the same program folder: the same.
        const fs::path cliProof = pictures / ("cli-proof-" + std::to_string(page + 1) + ".png");
        QProcess cli;
        cli.start(KV_CLI, QStringList{"render"} + c.render +
                              QStringList{"--proof", QString::fromStdString(cliProof.string())});
        ASSERT_TRUE(cli.waitForFinished(60000));
        ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        EXPECT_EQ(rgb(QImage(QString::fromStdString(cliProof.string()))), windowProof);

        ASSERT_TRUE(print(++page));
        const QImage printed(
            QString::fromStdString(test::printedPage(out.path(), page, "png").string()));
        ASSERT_EQ(printed.size(), QSize(640, 480));
        const QImage pagePicture = rgb(printed);

        // The sheet's true levels: the window shows exactly their proof. The page's
        // yellow is known only by its element sum (a level of remainder 3 reads one
        // higher): with yellow read back so, the page is their proof exactly.
        const JobSheet sheet = jobSheet();
        ASSERT_TRUE(sheet.proof);
        const render::SheetProof truth = render::proofOfSheet(*sheet.proof, sheet.images->exposure);
        EXPECT_TRUE(std::equal(truth.rgb.begin(), truth.rgb.end(), windowProof.constBits()));
        render::ExposureImage seen = sheet.images->exposure;
        for (render::Levels& levels : seen.levels)
            levels[render::kYellow] =
                static_cast<std::int16_t>(printer::PageLevels::yellowLevelEstimate(
                    printer::PageLevels::yellowSumOf(levels[render::kYellow])));
        const render::SheetProof asPrinted = render::proofOfSheet(*sheet.proof, seen);
        EXPECT_TRUE(std::equal(asPrinted.rgb.begin(), asPrinted.rgb.end(), pagePicture.constBits()))
            << "the page's proof is not its levels' proof";
    }
}

} // namespace
} // namespace kv::shell
