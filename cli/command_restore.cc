// restore DIR: writes the CDs of the backup in DIR onto the player through
// the ordinary sync: the same CDs in the same order, the same texts, the
// same tracks in order with the same audio bytes, passing over the tracks
// the player holds already (frontend/restore_plan.h). Progress and Ctrl-C
// as for sync. Exit 0 only when every track of the backup is on the player.

#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

#include "cli/commands.h"
#include "cli/interrupt_scope.h"
#include "cli/json_text.h"
#include "cli/sync_run.h"
#include "frontend/restore_plan.h"
#include "volume/pending_list.h"

namespace songlift::cli {
namespace {

void CancelChecks(void* volume) { static_cast<jukepak::PlayerVolume*>(volume)->RequestCancel(); }

QJsonObject SummaryJson(const frontend::RestoreSummary& summary, const SyncOutcome& synced,
                        const jukepak::PlayerVolume& volume) {
  QJsonArray failures;
  for (const frontend::TrackFailure& failure : summary.failures) {
    failures.append(QJsonObject{{"track", JsonFromUtf8(failure.track)},
                                {"error", JsonFromUtf8(failure.error)}});
  }
  return QJsonObject{{"tracks", qint64(summary.tracks)},
                     {"alreadyThere", qint64(summary.alreadyThere)},
                     {"written", qint64(synced.summary.written)},
                     {"pending", qint64(synced.pendingAfter)},
                     {"failures", failures},
                     {"errors", ErrorsJson(synced)},
                     {"freeKB", qint64(volume.model().freeKilobytes)}};
}

// Checks the backup's files and adds what the player lacks to the pending
// list; Ctrl-C stops the checks.
jukepak::Result AddSongs(CliContext& context, const QString& folder,
                         const frontend::BackupManifest& manifest,
                         frontend::RestoreSummary* summary) {
  jukepak::PlayerVolume& volume = context.volume();
  const bool draw = isatty(STDERR_FILENO) != 0 && !context.options().json;
  InterruptScope cancels(CancelChecks, &volume);
  const jukepak::Result added = frontend::AddRestoredSongs(
      volume, folder, manifest,
      [&](size_t index, size_t count) {
        if (draw) std::fprintf(stderr, "\r\033[Kchecking %zu/%zu", index + 1, count);
        return !volume.CancelRequested();
      },
      summary);
  if (draw) std::fputs("\r\033[K", stderr);
  volume.ClearCancel();
  for (const frontend::TrackFailure& failure : summary->failures) {
    context.Fail(failure.track + ": " + failure.error);
  }
  return added;
}

}  // namespace

int RunRestore(CliContext& context) {
  const std::string& dir = context.args()[0];
  const QString folder = QFile::decodeName(QByteArray::fromStdString(dir));
  frontend::BackupManifest manifest;
  bool found = false;
  const jukepak::Result loaded = frontend::LoadManifest(folder, &manifest, &found);
  if (!loaded.ok()) return context.Fail(loaded.message());
  if (!found) return context.Fail(dir + " holds no backup (no " + frontend::kManifestName + ")");

  SyncProgress& progress = *context.UseReporter(
      std::make_unique<SyncProgress>(isatty(STDERR_FILENO) != 0 && !context.options().json));
  const int mounted = context.Mount(Access::kWrite);
  if (mounted != kExitOk) return mounted;
  jukepak::PlayerVolume& volume = context.volume();

  frontend::RestoreSummary summary;
  const jukepak::Result added = AddSongs(context, folder, manifest, &summary);
  if (added.code() == jukepak::ResultCode::kCancelled) return context.Fail(added.message());
  const uint32_t needed = volume.EstimateDownloadKilobytes();
  const uint32_t free = volume.FreeKilobytes();
  if (free < needed) {
    return context.Fail("the backup's tracks need " + jukepak::SizeLabelText(needed) +
                        " Mb and the player has " + jukepak::SizeLabelText(free) + " Mb free");
  }
  // The songs the player holds are left out already; a CD that holds the
  // same song twice must get both.
  jukepak::SyncOptions options = volume.syncOptions();
  options.skipDuplicates = false;
  volume.SetSyncOptions(options);
  const SyncOutcome synced = RunPendingSync(context, progress);

  context.OutJson(SummaryJson(summary, synced, volume));
  char line[200];
  std::snprintf(line, sizeof line,
                "Restored %zu of %zu tracks (%zu on the player already) in %.2f s; %s free\n",
                synced.summary.written, summary.tracks, summary.alreadyThere,
                synced.songs != 0 ? progress.seconds() : 0.0,
                jukepak::SizeLabelText(volume.model().freeKilobytes).c_str());
  context.Out(line);
  return added.ok() && synced.result.ok() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
