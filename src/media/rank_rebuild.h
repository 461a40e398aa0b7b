#pragma once

#include "media/media_rank_table.h"

namespace kv::media {

// "Sens neu erstellen": rows A to Y of sensC, sensM and sensY get
// 0.66 x 1.01^(((n - 4) x 28 + 40) / 7) with n = row + 1, at least 4 (row M: 1.000).
// Rows 25 to 29 are left as they are. The caller shows kMsgSensRebuildDone.
void sensRebuild(MediaRankTable& table);

// "Dens neu erstellen": every density column is rebuilt around its row M value
// in steps of 10^0.02 per rank (row M kept, rows 25 to 29 left as they are). The
// caller shows kMsgDensRebuildDone.
void densRebuild(MediaRankTable& table);

} // namespace kv::media
