#pragma once

#include "media/media_calibration.h"
#include "media/media_rank_table.h"

#include <string>

namespace kv::media {

inline constexpr std::string_view kDefaultMediaId = "AMMMMMMMMM";

// The media records of the run: the rank table, the current calibration, the
// gamma curves built from it and the media identification the ranks came from.
struct MediaState {
    MediaRankTable rankTable = MediaRankTable::defaults();
    MediaCalibration calibration;
    GammaCurves gamma;
    std::string currentMediaId{kDefaultMediaId};
};

} // namespace kv::media
