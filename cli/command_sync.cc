// sync: adds files and folders to the pending list as a drop on Songlift's
// window does, checks that they fit, and writes them to the player. On a
// terminal a progress line shows CDs, tracks, clusters and the rate; Ctrl-C
// asks the job to stop after the cluster in hand. --dry-run shows what would
// be written and writes nothing. Exit 0 only when every song was written.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/latin1.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "volume/pending_list.h"
#include "volume/space_accounting.h"

namespace songlift::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kTooLarge[] =
    "Your pending songs are too large for the player.  Please remove some songs from the "
    "pending list.";

// The engine whose sync Ctrl-C cancels. The handler only stores atomics.
std::atomic<jukepak::PlayerVolume*> g_cancel_target{nullptr};

extern "C" void CancelOnInterrupt(int) {
  if (jukepak::PlayerVolume* volume = g_cancel_target.load()) volume->RequestCancel();
}

// Installs the Ctrl-C handler for the life of the object.
class InterruptCancels {
 public:
  explicit InterruptCancels(jukepak::PlayerVolume* volume) {
    g_cancel_target.store(volume);
    struct sigaction action {};
    action.sa_handler = CancelOnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptCancels() {
    sigaction(SIGINT, &previous_, nullptr);
    g_cancel_target.store(nullptr);
  }

 private:
  struct sigaction previous_ {};
};

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
      text += "  " + std::to_string(++number) + " " + jukepak::TrackLabel(song->record, artist) +
              "  " + jukepak::SizeLabelText(uint32_t(jukepak::SongKilobytes(song->record.size()))) +
              "  " + song->sourcePath + "\n";
    }
  }
  text += "Download Size: " + jukepak::SizeLabelText(estimate) + " (" + std::to_string(estimate) +
          " KB)\n";
  text += "Free Space: " + jukepak::SizeLabelText(free) + " (" + std::to_string(free) + " KB)\n";
  return text;
}

std::string DryRunJson(jukepak::PlayerVolume& volume, uint32_t estimate, uint32_t free) {
  const jukepak::VolumeModel& model = volume.model();
  JsonWriter json;
  json.BeginObject().Key("cds").BeginArray();
  for (const auto& cd : model.pendingCds) {
    json.BeginObject()
        .Key("artist")
        .String(jukepak::Utf8FromLatin1(cd->record.artist()))
        .Key("album")
        .String(jukepak::Utf8FromLatin1(cd->record.album()))
        .Key("onPlayer")
        .Bool(OnPlayer(model, cd->record))
        .Key("tracks")
        .BeginArray();
    for (const auto& song : cd->pendingTracks) {
      json.BeginObject()
          .Key("title")
          .String(jukepak::Utf8FromLatin1(song->record.title()))
          .Key("artist")
          .String(jukepak::Utf8FromLatin1(song->record.artist()))
          .Key("path")
          .String(song->sourcePath)
          .Key("size")
          .Number(song->record.size())
          .EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray()
      .Key("downloadKB")
      .Number(estimate)
      .Key("freeKB")
      .Number(free)
      .Key("fits")
      .Bool(free >= estimate)
      .EndObject();
  return json.text() + "\n";
}

// Prints each line of a multi-line message as its own failure.
void PrintFailures(const CliContext& context, const std::string& message) {
  size_t start = 0;
  while (start <= message.size()) {
    const size_t end = message.find('\n', start);
    const std::string line = message.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty()) context.Fail(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

int RunSync(CliContext& context) {
  bool dry_run = false;
  std::vector<std::string> paths;
  for (const std::string& arg : context.args()) {
    if (arg == "--dry-run" || arg == "-n") {
      dry_run = true;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) return context.Usage("sync needs at least one file or folder");

  SyncProgress progress(isatty(STDERR_FILENO) != 0 && !context.options().json);
  CliContext own(context.options(), context.command(), context.args(), &progress);
  const int mounted = own.Mount();
  if (mounted != kExitOk) return mounted;
  jukepak::PlayerVolume& volume = own.volume();
  progress.set_volume(&volume);

  const std::vector<jukepak::AddFailure> failures = jukepak::DropFiles(volume, paths);
  for (const auto& failure : failures) own.Fail(failure.path + ": " + failure.result.message());
  const uint32_t estimate = volume.EstimateDownloadKilobytes();
  const uint32_t free = volume.FreeKilobytes();
  const bool fits = free >= estimate;

  if (dry_run) {
    own.Out(context.options().json ? DryRunJson(volume, estimate, free)
                                   : DryRunText(volume, estimate, free));
    if (!fits) own.Fail(kTooLarge);
    return failures.empty() && fits ? kExitOk : kExitFailed;
  }
  if (!fits) return own.Fail(kTooLarge);
  const size_t songs = PendingSongs(volume.model());
  if (songs == 0) return failures.empty() ? kExitOk : kExitFailed;

  jukepak::Result synced;
  {
    InterruptCancels cancels(&volume);
    synced = volume.RunJobNow(jukepak::Job::kSync);
  }
  const size_t written = songs - PendingSongs(volume.model());
  if (!synced.ok()) PrintFailures(own, synced.message());
  const double seconds = progress.seconds();
  if (context.options().json) {
    JsonWriter json;
    json.BeginObject()
        .Key("written")
        .Number(int64_t(written))
        .Key("pending")
        .Number(int64_t(songs - written))
        .Key("failedToAdd")
        .Number(int64_t(failures.size()))
        .Key("freeKB")
        .Number(volume.FreeKilobytes())
        .EndObject();
    own.Out(json.text() + "\n");
  } else {
    char line[160];
    std::snprintf(line, sizeof line, "Wrote %zu of %zu songs in %.2f s; %s free\n", written, songs,
                  seconds, jukepak::SizeLabelText(volume.FreeKilobytes()).c_str());
    own.Out(line);
  }
  return synced.ok() && failures.empty() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
