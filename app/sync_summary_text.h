// What the window tells the user when a sync has ended: what it wrote, what
// it passed over, which files failed and why, what stays pending, and the
// sync's own words about anything else that stopped it (a full player, a
// driver failure, a cancel).
#pragma once

#include <QString>

#include "volume/job_report.h"

namespace songlift {

// The summary of a sync's end, one item a line, e.g.
//   The sync is complete.
//   Written: 3 songs
//   Failed: 1 song
//     /music/gone.mp3: Could not open file!
//   Left pending: 1 song
QString SyncSummaryText(const jukepak::JobSummary& summary);

// "1 song", "3 songs".
QString SongCount(size_t count);

}  // namespace songlift
