#pragma once

#include "adjust/picture_adjust_settings.h"
#include "media/media_calibration.h"
#include "render/print_proof.h"

#include <filesystem>
#include <optional>
#include <string>

// The window's proof of a sheet: what a job would send for it, seen on screen. The
// inputs are copies, so the work may run apart from the window that asked for it.
namespace kv::render {

struct ProofInputs {
    adjust::PictureAdjustSettings settings;
    media::MediaCalibration calibration;
    media::GammaCurves gamma;
    // Where the job reads [ColCorPalam] and [BaseMedia].
    std::filesystem::path programDirectory;
};

// Whether a job would apply the colour-matching table: a print goes on without it when
// its file is missing (after asking), and the proof shows that print.
bool proofUsesMatchTable(const adjust::PictureAdjustSettings& settings);

// Everything a proof depends on besides the sheet, as bytes: equal keys, equal proofs.
// Covers the settings, the calibration, the curves and the files a job reads at its
// start (their size and time), so an edit anywhere shows.
std::string proofInputsKey(const ProofInputs& inputs);

// The sheet file (as prepareSheetFile writes it) through the job's colour stages and
// back into colours. Nothing is told: the stages' messages belong to printing, not to
// looking. nullopt when the file cannot be loaded.
std::optional<SheetProof> proofOfSheetFile(const std::filesystem::path& sheetFile,
                                           const ProofInputs& inputs);

} // namespace kv::render
