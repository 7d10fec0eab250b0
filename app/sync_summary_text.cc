#include "app/sync_summary_text.h"

#include <QStringList>
#include <string>

namespace songlift {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The lines of the sync's message that the per-song failures do not tell
// already (they read "REASON (PATH)").
QStringList OtherProblems(const jukepak::JobSummary& summary) {
  QStringList lines;
  if (summary.result.ok()) return lines;
  for (const QString& line : Text(summary.result.message()).split('\n', Qt::SkipEmptyParts)) {
    bool per_song = false;
    for (const jukepak::SongFailure& failure : summary.sync.failed) {
      per_song = per_song || line == Text(failure.reason + " (" + failure.path + ")");
    }
    if (!per_song) lines << line;
  }
  return lines;
}

}  // namespace

QString SongCount(size_t count) {
  return count == 1 ? QString("1 song") : QString("%1 songs").arg(count);
}

QString SyncSummaryText(const jukepak::JobSummary& summary) {
  const jukepak::SyncSummary& sync = summary.sync;
  QStringList lines;
  if (summary.result.ok()) {
    lines << (sync.written == 0 && sync.duplicates.empty() ? "Nothing was pending."
                                                           : "The sync is complete.");
  }
  lines << OtherProblems(summary);
  lines << "Written: " + SongCount(sync.written);
  if (!sync.duplicates.empty()) {
    lines << "Already on the player, not written again: " + SongCount(sync.duplicates.size());
    for (const std::string& song : sync.duplicates) lines << "  " + Text(song);
  }
  if (!sync.failed.empty()) {
    lines << "Failed: " + SongCount(sync.failed.size());
    for (const jukepak::SongFailure& failure : sync.failed) {
      lines << "  " + Text(failure.path) + ": " + Text(failure.reason);
    }
  }
  if (sync.leftPending > 0) lines << "Left pending: " + SongCount(sync.leftPending);
  return lines.join('\n');
}

}  // namespace songlift
