// Running the sync job from a command (sync, restore): the progress line on
// a terminal, Ctrl-C asking the job to stop after the cluster in hand, and
// the outcome.
#pragma once

#include <QJsonArray>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/result.h"
#include "cli/cli_context.h"
#include "volume/sync_options.h"

namespace songlift::cli {

inline constexpr char kTooLarge[] =
    "Your pending songs are too large for the player.  Please remove some songs from the "
    "pending list.";

// Follows the job's progress; draws one line on stderr when it is a
// terminal.
class SyncProgress : public CliReporter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SyncProgress(bool draw) : draw_(draw) {}
  void set_volume(const jukepak::PlayerVolume* volume) { volume_ = volume; }

  void SyncProgressed(const jukepak::SyncProgress& progress) override {
    const bool new_track = progress.cluster == 0;
    if (new_track && progress.song == 1) start_ = Clock::now();
    progress_ = progress;
    Draw(new_track);
  }
  void JobEnded(const jukepak::JobSummary&) override {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

  double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  void Draw(bool force);

  bool draw_;
  const jukepak::PlayerVolume* volume_ = nullptr;
  jukepak::SyncProgress progress_;
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
