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
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/interrupt_scope.h"
#include "cli/json_text.h"
#include "volume/audio_transcoder.h"
#include "volume/pending_list.h"
#include "volume/space_accounting.h"

namespace songlift::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kTooLarge[] =
    "Your pending songs are too large for the player.  Please remove some songs from the "
    "pending list.";

// The hook of the Ctrl-C handler: only stores the engine's atomic flag.
void CancelSync(void* volume) { static_cast<jukepak::PlayerVolume*>(volume)->RequestCancel(); }

// Follows the job's progress feed; draws one line on stderr when it is a
// terminal.
class SyncProgress : public CliReporter {
 public:
  explicit SyncProgress(bool draw) : draw_(draw) {}
  void set_volume(const jukepak::PlayerVolume* volume) { volume_ = volume; }

  void BeginAll(int cds) override {
    cds_ = cds;
    start_ = Clock::now();
  }
  void BeginCd(int tracks) override {
    ++cd_;
    tracks_ = tracks;
    track_ = 0;
  }
  void BeginTrack(std::string_view title, uint32_t clusters) override {
    ++track_;
    title_ = std::string(title);
    clusters_ = clusters;
    clusters_written_ += 1;  // the first cluster goes with the track record
    Draw(true);
  }
  void TrackPosition(uint32_t cluster) override {
    cluster_ = cluster;
    clusters_written_ += 1;
    Draw(false);
  }
  void EndAll() override {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

  double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  void Draw(bool force) {
    if (!draw_) return;
    const Clock::time_point now = Clock::now();
    if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    const double rate = seconds() > 0 ? clusters_written_ * 8192.0 / 1e6 / seconds() : 0.0;
    constexpr int kBar = 20;
    const int filled = clusters_ > 1 ? int(kBar * cluster_ / (clusters_ - 1)) : kBar;
    std::string bar(size_t(filled), '#');
    bar.resize(kBar, '-');
    char line[160];
    std::snprintf(line, sizeof line, "CD %d/%d  track %d/%d  [%s] %u/%u clusters  %.1f MB/s  ", cd_,
                  cds_, track_, tracks_, bar.c_str(), cluster_ + 1, clusters_, rate);
    std::string text = line;
    if (volume_ != nullptr && volume_->CancelRequested()) {
      text += "cancelling...";
    } else {
      text += title_.substr(0, 30);
    }
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool draw_;
  const jukepak::PlayerVolume* volume_ = nullptr;
  int cds_ = 0, cd_ = 0, tracks_ = 0, track_ = 0;
  uint32_t clusters_ = 0, cluster_ = 0;
  uint64_t clusters_written_ = 0;
  std::string title_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_draw_{};
  bool drawn_ = false;
};

size_t PendingSongs(const jukepak::VolumeModel& model) {
  size_t n = 0;
  for (const auto& cd : model.pendingCds) n += cd->pendingTracks.size();
  return n;
}

bool OnPlayer(const jukepak::VolumeModel& model, const jukepak::CdRecord& record) {
  for (const auto& cd : model.playerCds) {
    if (cd->record.artist() == record.artist() && cd->record.album() == record.album()) return true;
  }
  return false;
}

std::string DryRunText(jukepak::PlayerVolume& volume, uint32_t estimate, uint32_t free) {
  const jukepak::VolumeModel& model = volume.model();
  std::string text;
  for (const auto& cd : model.pendingCds) {
    text += jukepak::CdLabel(cd->record) +
            (OnPlayer(model, cd->record) ? "  (on the player)" : "  (new)") + "\n";
    const std::string artist = cd->record.artist();
    int number = 0;
    for (const auto& song : cd->pendingTracks) {
      const std::string size =
          jukepak::SizeLabelText(uint32_t(jukepak::SongKilobytes(song->record.size())));
      text += "  " + std::to_string(++number) + " " + jukepak::TrackLabel(song->record, artist) +
              "  " + (song->needsConversion ? "~" + size + " (estimated)" : size) + "  " +
              song->sourcePath + "\n";
    }
  }
  text += "Download Size: " + jukepak::SizeLabelText(estimate) + " (" + std::to_string(estimate) +
          " KB)\n";
  text += "Free Space: " + jukepak::SizeLabelText(free) + " (" + std::to_string(free) + " KB)\n";
  return text;
}

QJsonObject DryRunJson(jukepak::PlayerVolume& volume, uint32_t estimate, uint32_t free) {
  const jukepak::VolumeModel& model = volume.model();
  QJsonArray cds;
  for (const auto& cd : model.pendingCds) {
    QJsonArray tracks;
    for (const auto& song : cd->pendingTracks) {
      tracks.append(QJsonObject{{"title", JsonFromLatin1(song->record.title())},
                                {"artist", JsonFromLatin1(song->record.artist())},
                                {"path", JsonFromUtf8(song->sourcePath)},
                                {"size", qint64(song->record.size())},
                                {"estimated", song->needsConversion}});
    }
    cds.append(QJsonObject{{"artist", JsonFromLatin1(cd->record.artist())},
                           {"album", JsonFromLatin1(cd->record.album())},
                           {"onPlayer", OnPlayer(model, cd->record)},
                           {"tracks", tracks}});
  }
  return QJsonObject{{"cds", cds},
                     {"downloadKB", qint64(estimate)},
                     {"freeKB", qint64(free)},
                     {"fits", free >= estimate}};
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

// The lines of a multi-line message, empty ones left out.
std::vector<std::string> MessageLines(const std::string& message) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= message.size()) {
    const size_t end = message.find('\n', start);
    const std::string line = message.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
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
  const bool fits = free >= estimate;

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
  const size_t songs = PendingSongs(volume.model());

  jukepak::Result synced;
  if (songs != 0) {
    InterruptScope cancels(CancelSync, &volume);
    synced = volume.RunJobNow(jukepak::Job::kSync);
  }
  const jukepak::SyncSummary summary =
      songs != 0 ? volume.lastSyncSummary() : jukepak::SyncSummary();
  const size_t written = summary.written;
  const std::vector<std::string> errors =
      synced.ok() ? std::vector<std::string>() : MessageLines(synced.message());
  for (const std::string& line : errors) context.Fail(line);
  if (context.options().json) {
    QJsonArray error_list;
    for (const std::string& line : errors) error_list.append(JsonFromUtf8(line));
    QJsonArray duplicates;
    for (const std::string& song : summary.duplicates) duplicates.append(JsonFromUtf8(song));
    context.OutJson(QJsonObject{{"written", qint64(written)},
                                {"pending", qint64(PendingSongs(volume.model()))},
                                {"alreadyOnPlayer", duplicates},
                                {"failedToAdd", qint64(failures.size())},
                                {"failures", AddFailuresJson(failures)},
                                {"errors", error_list},
                                {"freeKB", qint64(volume.FreeKilobytes())}});
  } else if (songs != 0) {
    for (const std::string& song : summary.duplicates) {
      context.Out(std::string(jukepak::kAlreadyOnPlayer) + song + "\n");
    }
    char line[200];
    std::snprintf(line, sizeof line, "Wrote %zu of %zu songs in %.2f s", written, songs,
                  progress.seconds());
    std::string text = line;
    if (!summary.duplicates.empty()) {
      text += "; " + std::to_string(summary.duplicates.size()) + " already on the player";
    }
    context.Out(text + "; " + jukepak::SizeLabelText(volume.FreeKilobytes()) + " free\n");
  }
  return synced.ok() && failures.empty() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
