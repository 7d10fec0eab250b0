// RecordingReporter: a VolumeReporter for tests. It keeps both trees as the
// window would show them, every status text, every state change and the
// progress feed, and lets a test wait until a job running on the worker has
// ended. Thread-safe: the worker calls it while the test thread reads it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "volume/volume_reporter.h"

namespace jukepak::testing {

class RecordingReporter : public VolumeReporter {
 public:
  struct Item {
    std::string label;
    void* node = nullptr;  // the CdNode or TrackNode it shows
    TreeItem parent = kNoTreeItem;
    std::vector<TreeItem> children;
  };

  void ShowStatus(std::string_view text) override;
  void DeviceStateChanged(DeviceState state) override;
  void BusyStateChanged(BusyState state) override;
  TreeItem InsertCdItem(Tree tree, std::string_view label, CdNode* cd, bool first) override;
  TreeItem InsertTrackItem(Tree tree, TreeItem cd_item, std::string_view label,
                           TrackNode* track) override;
  void SetItemLabel(Tree tree, TreeItem item, std::string_view label) override;
  void DeleteItem(Tree tree, TreeItem item) override;
  void DeleteChildren(Tree tree, TreeItem item) override;
  void ClearTree(Tree tree) override;
  void RedrawTree(Tree tree) override;
  void BeginAll(int pending_cds) override;
  void BeginCd(int tracks) override;
  void BeginTrack(std::string_view title, uint32_t clusters) override;
  void TrackPosition(uint32_t cluster_index) override;
  void EndAll() override;

  // The tree as text: one line per item, tracks indented by two spaces.
  std::string TreeText(Tree tree) const;
  // Labels of the top-level items, in order.
  std::vector<std::string> TopLabels(Tree tree) const;
  std::vector<std::string> ChildLabels(Tree tree, TreeItem item) const;
  std::string Label(Tree tree, TreeItem item) const;
  bool HasItem(Tree tree, TreeItem item) const;

  std::vector<std::string> statuses() const;
  std::string lastStatus() const;
  std::vector<DeviceState> deviceStates() const;
  std::vector<BusyState> busyStates() const;
  // The progress feed as lines such as "beginAll 2", "track Title 3", "pos 1".
  std::vector<std::string> progress() const;

  // Waits until busyState has been reported idle `count` times in all.
  bool WaitForIdleReports(size_t count, std::chrono::milliseconds timeout);

 private:
  struct TreeState {
    std::map<TreeItem, Item> items;
    std::vector<TreeItem> top;
    int redraws = 0;
  };
  TreeState& state(Tree tree) { return tree == Tree::kPlayer ? player_ : pending_; }
  const TreeState& state(Tree tree) const { return tree == Tree::kPlayer ? player_ : pending_; }
  void EraseLocked(TreeState& s, TreeItem item);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  TreeState player_;
  TreeState pending_;
  TreeItem next_item_ = 0;
  std::vector<std::string> statuses_;
  std::vector<DeviceState> device_states_;
  std::vector<BusyState> busy_states_;
  size_t idle_reports_ = 0;
  std::vector<std::string> progress_;
};

}  // namespace jukepak::testing
