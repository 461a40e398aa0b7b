#include "render/print_preparation.h"

#include "platform/paths.h"
#include "render/colour_tables.h"
#include "render/layout_messages.h"
#include "render/raster_lines.h"
#include "render/sheet_loader.h"

#include <optional>

namespace kv::render {

namespace fs = std::filesystem;

bool loadPrintSource(const fs::path& sheetFile, const PrintInputs& inputs, PrintImage& image,
                     platform::Ui& ui) {
    platform::Ui::WaitCursor wait(ui);
    const std::optional<FrameShape> shape = loadSheetFile(sheetFile, image, ui);
    if (!shape)
        return false;
    const int width = frameWidth(*shape);
    const int height = frameHeight(*shape);
    // Both work on the frame as loaded; a failure is told and the job goes on.
    cameraNoiseStage(inputs.settings, image, width, height, ui);
    if (inputs.colourMatching)
        colourMatchingStage(inputs.settings.matchPath, image, width, height, ui);
    orientFrame(image, *shape);
    return true;
}

ExposureMode runPrintStages(const PrintInputs& inputs, JobImages& images, platform::Ui& ui,
                            platform::ProgressDisplay* progress) {
    platform::Ui::WaitCursor wait(ui);
    const ColCorPalam colCor = readColCorPalam(inputs.programDirectory);
    const ExposureBaseMedia baseMedia = readExposureBaseMedia(inputs.programDirectory);
    const ColourJob job{inputs.settings, inputs.calibration, inputs.gamma, colCor, baseMedia};

    if (progress) {
        progress->flags.colourStagesRunning = true;
        progress->showProgress(kProgressStagesStart);
    }
    const ExposureMode mode = runColourStages(
        job, images.print, images.luminance, images.exposure, ui, [progress](ColourStage done) {
            if (!progress)
                return;
            switch (done) {
            case ColourStage::Saturation:
                progress->showProgress(kProgressAfterSaturation);
                break;
            case ColourStage::HueSector:
                progress->showProgress(kProgressAfterHueSector);
                break;
            case ColourStage::Exposure:
                progress->showProgress(kProgressAfterExposure);
                break;
            case ColourStage::Edge:
                progress->showProgress(kProgressAfterEdges);
                break;
            case ColourStage::Tone:
            case ColourStage::Clamp:
                break;
            }
        });
    if (progress)
        progress->flags.colourStagesRunning = false;
    return mode;
}

bool preparePrintLevels(const fs::path& sheetFile, const PrintInputs& inputs, JobImages& images,
                        platform::Ui& ui, platform::ProgressDisplay* progress) {
    if (!loadPrintSource(sheetFile, inputs, images.print, ui))
        return false;
    runPrintStages(inputs, images, ui, progress);
    return true;
}

fs::path defaultBmxFile() {
    return platform::driveC() / kBmxFileName;
}

bool writeSheetBmx(const ExposureImage& exposure, platform::Ui& ui, const fs::path& file) {
    platform::Ui::WaitCursor wait(ui);
    if (writeBmxFile(file, exposure))
        return true;
    ui.message(kMsgBmxNotWritten, platform::Ui::Icon::None);
    return false;
}

} // namespace kv::render
