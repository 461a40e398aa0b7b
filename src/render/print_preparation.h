#pragma once

#include "adjust/picture_adjust_settings.h"
#include "media/media_calibration.h"
#include "platform/progress.h"
#include "platform/ui.h"
#include "render/colour_pipeline.h"
#include "render/print_images.h"

#include <filesystem>

// A print job's work before and apart from the printer: the sheet file into the
// PrintImage, the colour stages into the ExposureImage, and the BMX raster file.
// The job engine runs these between its printer steps; kvphoto-cli runs them in a row.
namespace kv::render {

// The images of one job. Held for the run: together they are some megabytes.
struct JobImages {
    PrintImage print;
    LuminanceMap luminance;
    ExposureImage exposure;
};

// What a job reads besides the sheet file.
struct PrintInputs {
    const adjust::PictureAdjustSettings& settings;
    bool colourMatching = false; // the job's switch: apply settings.matchPath
    const media::MediaCalibration& calibration;
    const media::GammaCurves& gamma;
    // Where [ColCorPalam] (kvx00.ini) and [BaseMedia] (BasMedia.ini) are read, at
    // every job so that a calibration changed meanwhile is printed.
    std::filesystem::path programDirectory;
};

// The status strip's values while the colour stages run, each shown before the
// stage that follows it; kProgressFull when the sheet is ready to be sent or written.
inline constexpr int kProgressStagesStart = 100;
inline constexpr int kProgressAfterSaturation = 300;
inline constexpr int kProgressAfterHueSector = 500;
inline constexpr int kProgressAfterExposure = 650;
inline constexpr int kProgressAfterEdges = 750;
inline constexpr int kProgressFull = platform::ProgressDisplay::kFullScale;

// Loads the sheet file into the PrintImage, runs the camera-noise filter (when
// DigitalCamera is 1) and the colour-matching table (when the switch is on) on the
// frame as loaded, and turns it into the printer's 640 x 480. False when the job
// ends: the file could not be loaded (told, except for a depth the loader skips).
// A stage that cannot run is told and skipped; the job goes on.
bool loadPrintSource(const std::filesystem::path& sheetFile, const PrintInputs& inputs,
                     PrintImage& image, platform::Ui& ui);

// Stages 4 to 9 on the oriented picture into images.exposure, with the status
// strip's values and its colour-stages flag set while they run.
ExposureMode runPrintStages(const PrintInputs& inputs, JobImages& images, platform::Ui& ui,
                            platform::ProgressDisplay* progress = nullptr);

// Both in a row: the print levels of one sheet file. False when the job ends (told
// as loadPrintSource says).
bool preparePrintLevels(const std::filesystem::path& sheetFile, const PrintInputs& inputs,
                        JobImages& images, platform::Ui& ui,
                        platform::ProgressDisplay* progress = nullptr);

// Drive C:'s default.bmx, the file a BMX-only job writes.
std::filesystem::path defaultBmxFile();

// Writes the sheet's raster lines as a BMX file. False, told with
// kMsgBmxNotWritten, when the file cannot be written whole.
bool writeSheetBmx(const ExposureImage& exposure, platform::Ui& ui,
                   const std::filesystem::path& file = defaultBmxFile());

} // namespace kv::render
