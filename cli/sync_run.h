// Running the sync job from a command (sync, restore): the progress line on
// a terminal, Ctrl-C asking the job to stop after the cluster in hand, and
// the outcome.
#pragma once

#include <QJsonArray>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "cli/cli_context.h"
#include "volume/sync_options.h"

namespace songlift::cli {

inline constexpr char kTooLarge[] =
    "Your pending songs are too large for the player.  Please remove some songs from the "
    "pending list.";

// Follows the job's progress feed; draws one line on stderr when it is a
// terminal.
class SyncProgress : public CliReporter {
 public:
  using Clock = std::chrono::steady_clock;

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
    cluster_ = 0;
    clusters_written_ += 1;  // the first cluster goes with the track record
    Draw(true);
  }
  // Positions come after each driver call, which may write many clusters.
  void TrackPosition(uint32_t cluster) override {
    clusters_written_ += cluster > cluster_ ? cluster - cluster_ : 0;
    cluster_ = cluster;
    Draw(false);
  }
  void EndAll() override {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

  double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  void Draw(bool force);

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

// How a sync went.
struct SyncOutcome {
  size_t songs = 0;         // pending when it began
  size_t pendingAfter = 0;  // still pending when it ended
  jukepak::SyncSummary summary;  // what it wrote and passed over (empty when nothing was pending)
  jukepak::Result result;
  std::vector<std::string> errors;  // the result's message, line by line
};

// Runs the sync job over the pending songs (nothing when there are none)
// on this thread, Ctrl-C asking it to stop; prints each error line as a
// failure.
SyncOutcome RunPendingSync(CliContext& context, SyncProgress& progress);

// The outcome's errors for a --json document.
QJsonArray ErrorsJson(const SyncOutcome& outcome);

}  // namespace songlift::cli
