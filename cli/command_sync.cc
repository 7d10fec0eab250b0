// sync: adds files, folders (-r: with their sub-folders) and playlists to
// the pending list as a drop on Songlift's window does, checks that they
// fit, and writes them to the player, converting songs of other formats at
// --bitrate and passing over songs already on the player unless
// --allow-duplicates. On a terminal a progress line shows CDs, tracks,
// clusters and the rate; Ctrl-C asks the job to stop after the cluster in
// hand. --dry-run shows what would be written and writes nothing. Exit 0
// only when every file was added and every song written or found on the
// player.

#include <unistd.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json_text.h"
#include "cli/sync_run.h"
#include "volume/audio_transcoder.h"
#include "volume/duplicate_songs.h"
#include "volume/pending_list.h"
#include "volume/space_accounting.h"

namespace songlift::cli {
namespace {

bool OnPlayer(const jukepak::DirectorySnapshot& directory, const jukepak::CdView& cd) {
  for (const auto& on_player : directory.cds) {
    if (on_player.artist == cd.artist && on_player.album == cd.album) return true;
  }
  return false;
}

std::string DryRunText(jukepak::PlayerVolume& volume, uint32_t estimate, uint32_t free) {
  const jukepak::DirectorySnapshot directory = volume.SnapshotDirectory();
  std::string text;
  for (const auto& cd : volume.SnapshotPending().cds) {
    text += cd.label + (OnPlayer(directory, cd) ? "  (on the player)" : "  (new)") + "\n";
    int number = 0;
    for (const auto& song : cd.tracks) {
      const std::string size = jukepak::SizeLabelText(uint32_t(jukepak::SongKilobytes(song.audioBytes)));
      text += "  " + std::to_string(++number) + " " + song.label + "  " +
              (song.estimated ? "~" + size + " (estimated)" : size) + "  " + song.sourcePath + "\n";
    }
  }
  text += "Download Size: " + jukepak::SizeLabelText(estimate) + " (" + std::to_string(estimate) +
          " KB)\n";
  text += "Free Space: " + jukepak::SizeLabelText(free) + " (" + std::to_string(free) + " KB)\n";
  return text;
}

QJsonObject DryRunJson(jukepak::PlayerVolume& volume, uint32_t estimate, uint32_t free) {
  const jukepak::DirectorySnapshot directory = volume.SnapshotDirectory();
  QJsonArray cds;
  for (const auto& cd : volume.SnapshotPending().cds) {
    QJsonArray tracks;
    for (const auto& song : cd.tracks) {
      tracks.append(QJsonObject{{"title", JsonFromUtf8(song.title)},
                                {"artist", JsonFromUtf8(song.artist)},
                                {"path", JsonFromUtf8(song.sourcePath)},
                                {"size", qint64(song.audioBytes)},
                                {"estimated", song.estimated}});
    }
    cds.append(QJsonObject{{"artist", JsonFromUtf8(cd.artist)},
                           {"album", JsonFromUtf8(cd.album)},
                           {"onPlayer", OnPlayer(directory, cd)},
                           {"tracks", tracks}});
  }
  return QJsonObject{{"cds", cds},
                     {"downloadKB", qint64(estimate)},
                     {"freeKB", qint64(free)},
                     {"fits", free >= jukepak::KilobytesToWrite(volume)}};
}

// The files that could not be added, each with why.
QJsonArray AddFailuresJson(const std::vector<jukepak::AddFailure>& failures) {
  QJsonArray list;
  for (const auto& failure : failures) {
    list.append(QJsonObject{{"path", JsonFromUtf8(failure.path)},
                            {"error", JsonFromUtf8(failure.result.message())}});
  }
  return list;
}

// The sync's options from the command line; false (after the usage
// message) when --bitrate is not one of the bitrates.
bool ReadSyncOptions(const CliContext& context, jukepak::SyncOptions* options) {
  options->skipDuplicates = !context.flag("allow-duplicates");
  if (!context.flag("bitrate")) return true;
  uint64_t kbps = 0;
  if (!ParseNumber(context.value("bitrate"), 128, 320, &kbps) ||
      !jukepak::IsConversionBitrate(uint32_t(kbps))) {
    context.Usage("--bitrate takes 128, 160, 192, 224, 256 or 320 (kbit/s)");
    return false;
  }
  options->bitrateKbps = uint32_t(kbps);
  return true;
}

}  // namespace

int RunSync(CliContext& context) {
  const bool dry_run = context.flag("dry-run");
  const std::vector<std::string>& paths = context.args();
  jukepak::SyncOptions options;
  if (!ReadSyncOptions(context, &options)) return kExitUsage;

  SyncProgress& progress = *context.UseReporter(
      std::make_unique<SyncProgress>(isatty(STDERR_FILENO) != 0 && !context.options().json));
  const int mounted = context.Mount(dry_run ? Access::kRead : Access::kWrite);
  if (mounted != kExitOk) return mounted;
  jukepak::PlayerVolume& volume = context.volume();
  progress.set_volume(&volume);

  volume.SetSyncOptions(options);  // before the drop: the estimates use the bitrate
  const std::vector<jukepak::AddFailure> failures =
      jukepak::DropFiles(volume, paths, jukepak::DropOptions{context.flag("recursive")});
  for (const auto& failure : failures) context.Fail(failure.path + ": " + failure.result.message());
  const uint32_t estimate = volume.EstimateDownloadKilobytes();
  const uint32_t free = volume.FreeKilobytes();
  // Songs the sync passes over as already on the player need no room.
  const bool fits = free >= jukepak::KilobytesToWrite(volume);

  if (dry_run) {
    if (context.options().json) {
      QJsonObject json = DryRunJson(volume, estimate, free);
      json.insert("failures", AddFailuresJson(failures));
      context.OutJson(json);
    } else {
      context.Out(DryRunText(volume, estimate, free));
    }
    if (!fits) context.Fail(kTooLarge);
    return failures.empty() && fits ? kExitOk : kExitFailed;
  }
  if (!fits) return context.Fail(kTooLarge);
  const SyncOutcome synced = RunPendingSync(context, progress);
  if (context.options().json) {
    QJsonArray duplicates;
    for (const std::string& song : synced.summary.duplicates) {
      duplicates.append(JsonFromUtf8(song));
    }
    context.OutJson(QJsonObject{{"written", qint64(synced.summary.written)},
                                {"pending", qint64(synced.pendingAfter)},
                                {"alreadyOnPlayer", duplicates},
                                {"failedToAdd", qint64(failures.size())},
                                {"failures", AddFailuresJson(failures)},
                                {"errors", ErrorsJson(synced)},
                                {"freeKB", qint64(volume.FreeKilobytes())}});
  } else if (synced.songs != 0) {
    for (const std::string& song : synced.summary.duplicates) {
      context.Out(std::string(jukepak::kAlreadyOnPlayer) + song + "\n");
    }
    char line[200];
    std::snprintf(line, sizeof line, "Wrote %zu of %zu songs in %.2f s", synced.summary.written,
                  synced.songs, progress.seconds());
    std::string text = line;
    if (!synced.summary.duplicates.empty()) {
      text += "; " + std::to_string(synced.summary.duplicates.size()) + " already on the player";
    }
    context.Out(text + "; " + jukepak::SizeLabelText(volume.FreeKilobytes()) + " free\n");
  }
  return synced.result.ok() && failures.empty() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
