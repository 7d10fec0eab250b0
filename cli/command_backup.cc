// backup DIR: copies every track off the player into DIR as
// "<CD artist>/<album>/<NN> <title>.mp3" and keeps DIR's manifest of the
// player's directory; a second backup copies only what is new or changed
// (frontend/backup_run.h). On a terminal a progress line shows the track and
// its clusters; Ctrl-C stops within the cluster in hand and leaves the
// manifest describing what is there.

#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <cstdio>

#include "cli/commands.h"
#include "cli/interrupt_scope.h"
#include "cli/json_text.h"
#include "frontend/backup_run.h"

namespace songlift::cli {
namespace {

using Clock = std::chrono::steady_clock;

void CancelCopy(void* volume) { static_cast<jukepak::PlayerVolume*>(volume)->RequestCancel(); }

// Draws one line on stderr when it is a terminal.
class BackupProgress : public frontend::CopyObserver {
 public:
  BackupProgress(bool draw, const jukepak::PlayerVolume& volume) : draw_(draw), volume_(volume) {}

  void BeginCopies(size_t) override { start_ = Clock::now(); }
  void BeginTrack(size_t index, size_t count, const std::string& label,
                  uint32_t clusters) override {
    index_ = index;
    count_ = count;
    label_ = label;
    clusters_ = clusters;
    read_ = 0;
    Draw(true);
  }
  void TrackPosition(uint32_t clusters_read) override {
    bytes_ += uint64_t(clusters_read - read_) * 8192;
    read_ = clusters_read;
    Draw(false);
  }
  void EndCopies() override {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

 private:
  void Draw(bool force) {
    if (!draw_) return;
    const Clock::time_point now = Clock::now();
    if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    constexpr int kBar = 20;
    const int filled = clusters_ > 0 ? int(kBar * read_ / clusters_) : kBar;
    std::string bar(size_t(filled), '#');
    bar.resize(kBar, '-');
    char line[160];
    std::snprintf(line, sizeof line, "track %zu/%zu  [%s] %u/%u clusters  %.1f MB/s  ", index_ + 1,
                  count_, bar.c_str(), read_, clusters_,
                  seconds > 0 ? bytes_ / 1e6 / seconds : 0.0);
    const std::string text =
        line + (volume_.CancelRequested() ? std::string("cancelling...") : label_.substr(0, 30));
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool draw_;
  const jukepak::PlayerVolume& volume_;
  size_t index_ = 0, count_ = 0;
  std::string label_;
  uint32_t clusters_ = 0, read_ = 0;
  uint64_t bytes_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_draw_{};
  bool drawn_ = false;
};

QJsonArray Paths(const std::vector<std::string>& paths) {
  QJsonArray list;
  for (const std::string& path : paths) list.append(JsonFromUtf8(path));
  return list;
}

QJsonObject SummaryJson(const std::string& dir, const frontend::CopySummary& summary) {
  QJsonArray failures;
  for (const frontend::TrackFailure& failure : summary.failures) {
    failures.append(QJsonObject{{"track", JsonFromUtf8(failure.track)},
                                {"error", JsonFromUtf8(failure.error)}});
  }
  return QJsonObject{{"dir", JsonFromUtf8(dir)},
                     {"tracks", qint64(summary.tracks)},
                     {"written", Paths(summary.written)},
                     {"unchanged", qint64(summary.unchanged)},
                     {"changedInFolder", Paths(summary.changedInFolder)},
                     {"replaced", Paths(summary.replaced)},
                     {"notOnPlayer", Paths(summary.notOnPlayer)},
                     {"failures", failures},
                     {"cancelled", summary.cancelled},
                     {"complete", summary.complete}};
}

void PrintSummary(const CliContext& context, const std::string& dir,
                  const frontend::CopySummary& summary) {
  for (const std::string& file : summary.changedInFolder) {
    context.Fail(file + " was changed in " + dir + " since the backup wrote it; left as it is");
  }
  for (const frontend::TrackFailure& failure : summary.failures) {
    context.Fail(failure.track + ": " + failure.error);
  }
  char line[200];
  std::snprintf(line, sizeof line, "%zu tracks: %zu files written, %zu up to date\n",
                summary.tracks, summary.written.size(), summary.unchanged);
  std::string text = line;
  if (!summary.replaced.empty()) {
    text += std::to_string(summary.replaced.size()) + " older copies of changed tracks removed\n";
  }
  if (!summary.notOnPlayer.empty()) {
    text += std::to_string(summary.notOnPlayer.size()) +
            " files of tracks no longer on the player kept\n";
  }
  context.Out(text);
}

}  // namespace

int RunBackup(CliContext& context) {
  const std::string& dir = context.args()[0];
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  jukepak::PlayerVolume& volume = context.volume();
  BackupProgress progress(isatty(STDERR_FILENO) != 0 && !context.options().json, volume);
  frontend::CopySummary summary;
  jukepak::Result done;
  {
    InterruptScope cancels(CancelCopy, &volume);
    done = frontend::BackupVolume(volume, QFile::decodeName(QByteArray::fromStdString(dir)),
                                  progress, &summary);
  }
  if (!done.ok() && summary.tracks == 0) return context.Fail(done.message());  // nothing began
  PrintSummary(context, dir, summary);
  context.OutJson(SummaryJson(dir, summary));
  // Each failed track has its line already.
  if (!done.ok() && summary.failures.empty()) context.Fail(done.message());
  return done.ok() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
