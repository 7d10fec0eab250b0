#include "cli/sync_run.h"

#include <cstdio>

#include "cli/interrupt_scope.h"
#include "cli/json_text.h"

namespace songlift::cli {
namespace {

// The hook of the Ctrl-C handler: only stores the engine's atomic flag.
void CancelSync(void* volume) { static_cast<jukepak::PlayerVolume*>(volume)->RequestCancel(); }

size_t PendingSongs(const jukepak::PendingSnapshot& pending) {
  size_t n = 0;
  for (const auto& cd : pending.cds) n += cd.tracks.size();
  return n;
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

}  // namespace

void SyncProgress::Draw(bool force) {
  if (!draw_) return;
  const Clock::time_point now = Clock::now();
  if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  const jukepak::SyncProgress& p = progress_;
  const double rate = seconds() > 0 ? double(p.bytesWritten) / 1e6 / seconds() : 0.0;
  constexpr int kBar = 20;
  const int filled = p.clusters > 0 ? int(kBar * uint64_t(p.cluster) / p.clusters) : kBar;
  std::string bar(size_t(filled), '#');
  bar.resize(kBar, '-');
  char line[160];
  std::snprintf(line, sizeof line, "CD %d/%d  track %d/%d  [%s] %u/%u clusters  %.1f MB/s  ", p.cd,
                p.cds, p.track, p.tracks, bar.c_str(), p.cluster, p.clusters, rate);
  std::string text = line;
  if (volume_ != nullptr && volume_->CancelRequested()) {
    text += "cancelling...";
  } else {
    text += p.title.substr(0, 30);
  }
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

SyncOutcome RunPendingSync(CliContext& context, SyncProgress& progress) {
  jukepak::PlayerVolume& volume = context.volume();
  progress.set_volume(&volume);
  SyncOutcome outcome;
  outcome.songs = PendingSongs(volume.SnapshotPending());
  if (outcome.songs != 0) {
    InterruptScope cancels(CancelSync, &volume);
    outcome.result = volume.RunJobNow(jukepak::Job::kSync);
  }
  if (outcome.songs != 0) outcome.summary = volume.lastSyncSummary();
  outcome.pendingAfter = PendingSongs(volume.SnapshotPending());
  if (!outcome.result.ok()) outcome.errors = MessageLines(outcome.result.message());
  for (const std::string& line : outcome.errors) context.Fail(line);
  return outcome;
}

QJsonArray ErrorsJson(const SyncOutcome& outcome) {
  QJsonArray list;
  for (const std::string& line : outcome.errors) list.append(JsonFromUtf8(line));
  return list;
}

}  // namespace songlift::cli
