#pragma once

#include "render/colour_pipeline.h"
#include "render/print_images.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The proof of a sheet: its print levels turned back into the sRGB colours that
// the job's exposure conversion would have turned into those levels, so that a
// sheet can be judged on screen from the very data the printer is sent.
namespace kv::render {

struct PrintInputs;

// The inverse of one job's exposure conversion.
class LevelProof {
  public:
    // Plain levels (ColorControl 2 or 4, or a calibration the conversion cannot
    // use and so printed as 4 x v): the colour is the level / 4.
    LevelProof() = default;
    // The full conversion with the given per-job tables. Builds the inverse of each
    // gamma curve once (about 0.1 ms); copies share it.
    explicit LevelProof(const ExposureTables& tables);

    // What a job with these inputs would print with, read as the job reads them
    // ([BaseMedia] from the program directory at this moment).
    static LevelProof forJob(const adjust::PictureAdjustSettings& settings,
                             const media::MediaCalibration& calibration,
                             const media::GammaCurves& gamma, const ExposureBaseMedia& base);
    static LevelProof forInputs(const PrintInputs& inputs);

    struct Colour {
        std::uint8_t red = 0, green = 0, blue = 0;
        // False when no picture colour prints these levels (edge enhancement or the
        // clamp took them past what the conversion gives); the colour is then the
        // nearest one that can be printed.
        bool reachable = true;
    };
    // levels in the exposure image's order: from blue (yellow), green, red (cyan).
    // Where a curve falls back or stays level, one level comes from several inputs:
    // the one nearest the other channels is taken, so a grey stays grey. Reachable
    // means the real-valued conversion of the colour found (before rounding) lies
    // within half a level of each level, or the 8-bit colour prints within one level.
    // With a neighbour's proof: where two inputs are about as near the others, the
    // one on the neighbour's stretch of the curve wins, and where no input near the
    // neighbour's gives the level but one within a few steps prints within three
    // levels of it, that one is kept; so a level moved a step or two (edge
    // enhancement) does not jump to a far input. Reachable still means an exact one.
    Colour colourOf(const Levels& levels, const Colour* neighbour = nullptr) const;

    bool plain() const { return !m_tables.has_value(); }
    // One line naming the calibration, for logs and the virtual printer's state file.
    std::string description() const;

    // Whatever the inversion needs, built once in the constructor.
    struct Inverse;

  private:
    std::optional<ExposureTables> m_tables;
    std::shared_ptr<const Inverse> m_inverse; // shared by copies: it never changes
    std::string m_description;
};

// A sheet's proof: the 640 x 480 picture columns (the margin columns left out),
// top row first, red, green, blue bytes; and one byte per pixel, 1 where the
// levels could not be reached.
struct SheetProof {
    static constexpr int kWidth = kFrameWidth;
    static constexpr int kHeight = kFrameHeight;
    std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(std::size_t(kWidth) * kHeight * 3);
    std::vector<std::uint8_t> outOfReach = std::vector<std::uint8_t>(std::size_t(kWidth) * kHeight);
};

// Each pixel's proof follows its left neighbour's (a row's first, the one above);
// the rows run on every core and come out the same however they are shared.
// About 12 ms a sheet with the shipped calibration, some 30 ms with strong
// cross-colour terms (bench/bench_proof.cpp, wall clock on 2 cores).
SheetProof proofOfSheet(const LevelProof& proof, const ExposureImage& exposure);

// Writes a proof as an 8-bit RGB PNG, whole or not at all. False when it cannot
// be written.
bool writeProofPng(const std::filesystem::path& file, const SheetProof& proof);

} // namespace kv::render
