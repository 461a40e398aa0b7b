#pragma once

#include "adjust/picture_adjust_settings.h"
#include "media/media_calibration.h"
#include "platform/ui.h"
#include "render/colour_tables.h"
#include "render/print_images.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// The colour stages that turn a job's picture into print levels, in the order
// the job engine runs them. Stages 1 and 2 work on the frame as loaded (width x
// height in the PrintImage, 640 x 480 or 480 x 640); the others on the 640 x 480
// frame after orientation.
namespace kv::render {

// 1. The camera-noise filter, three passes, when DigitalCamera is 1. False when
// a pass could not run (told); the picture then stays as the passes before left it.
bool cameraNoiseStage(const adjust::PictureAdjustSettings& settings, PrintImage& image, int width,
                      int height, platform::Ui& ui);

// 2. Colour matching: trilinear lookup in the lattice, output truncated.
void applyColourMatching(const ColourMatchingTable& table, PrintImage& image, int width,
                         int height);
// Reads the table and applies it. False, picture unchanged, when the file cannot
// be used (its message shown); the job goes on.
bool colourMatchingStage(const std::filesystem::path& tablePath, PrintImage& image, int width,
                         int height, platform::Ui& ui);

// 4. Tone curve: the 256-entry mapping of the settings' tone mode, and its
// application to every component of the picture.
std::array<std::uint8_t, 256> toneCurve(const adjust::PictureAdjustSettings& settings);
void applyToneCurve(const adjust::PictureAdjustSettings& settings, PrintImage& image);

// 5. Saturation (when on) and, always, the brightness map for the edge stage.
void applySaturation(const adjust::PictureAdjustSettings& settings, PrintImage& image,
                     LuminanceMap& luminance);

// 6. Hue-sector correction; skipped for ColorControl 3 and 4.
void applyHueSectorCorrection(const adjust::PictureAdjustSettings& settings,
                              const ColCorPalam& params, PrintImage& image);

// 7. Exposure conversion. The per-job part: for every corrected/disturbing
// channel pair its level weight by the corrected channel's value and its
// disturbance factor by the disturbing channel's value, and the gamma curves.
struct ExposureTables {
    // Pairs in the order rg, rb, gr, gb, br, bg (corrected channel first).
    std::array<std::array<double, 256>, 6> lambda{};
    std::array<std::array<double, 256>, 6> disturbance{};
    std::array<std::array<double, 256>, 3> gamma{}; // red, green, blue curve entries 0..255
    double ovBg = 1, ovGb = 1, ovRg = 1;
};
struct ExposurePlan {
    std::optional<ExposureTables> tables;
    std::string problem; // when there are none: the wrong value, as "RBase32 = 0.0"
};
// Nullopt tables when the calibration makes the conversion undefined: a density
// or base-media log base <= 0 or equal to 1, a gamma entry whose log is taken
// <= 0 (or, below level 32, <= -1), equal curve entries 32 and 224, a
// denominator aE - bE + 1 of 0, or values that are not finite.
ExposurePlan planExposure(const media::MediaCalibration& calibration,
                          const media::GammaCurves& gamma, const ExposureBaseMedia& base);

enum class ExposureMode {
    Full,     // the full conversion
    Plain,    // ColorControl 2 or 4: 4 x v
    Fallback, // the calibration was unusable: 4 x v, the user told once
};
// Writes the 640 picture columns of every row and the margin columns 640..644
// (kMarginLevel). Levels are never negative; far out-of-range values stop at the
// 16-bit top and are cut by the final clamp.
ExposureMode convertToExposure(const adjust::PictureAdjustSettings& settings,
                               const media::MediaCalibration& calibration,
                               const media::GammaCurves& gamma, const ExposureBaseMedia& base,
                               const PrintImage& image, ExposureImage& exposure, platform::Ui& ui);
// The two variants on their own.
void plainExposure(const PrintImage& image, ExposureImage& exposure);
void fullExposure(const ExposureTables& tables, const PrintImage& image, ExposureImage& exposure);

// 8. Edge enhancement from the brightness map, rows 1..478 and columns 1..638.
void enhanceEdges(const adjust::PictureAdjustSettings& settings, const LuminanceMap& luminance,
                  ExposureImage& exposure);

// 9. Final clamp of the picture columns to each channel's curve top (entry 256).
void clampLevels(const media::GammaCurves& gamma, ExposureImage& exposure);

// Everything stages 4 to 9 read for one job. ColCorPalam and the base-media
// values are read from their files at every job (readColCorPalam,
// readExposureBaseMedia).
struct ColourJob {
    const adjust::PictureAdjustSettings& settings;
    const media::MediaCalibration& calibration;
    const media::GammaCurves& gamma;
    const ColCorPalam& colCor;
    const ExposureBaseMedia& baseMedia;
};
enum class ColourStage { Tone = 4, Saturation, HueSector, Exposure, Edge, Clamp };
// Runs stages 4 to 9 on the oriented 640 x 480 picture; `progress`, when given,
// is called after each stage with the stage just finished.
ExposureMode runColourStages(const ColourJob& job, PrintImage& image, LuminanceMap& luminance,
                             ExposureImage& exposure, platform::Ui& ui,
                             const std::function<void(ColourStage)>& progress = {});

} // namespace kv::render
