#include "volume/testing/recording_reporter.h"

#include <algorithm>

namespace jukepak::testing {

void RecordingReporter::ShowStatus(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  statuses_.emplace_back(text);
}

void RecordingReporter::DeviceStateChanged(DeviceState state) {
  std::lock_guard<std::mutex> lock(mutex_);
  device_states_.push_back(state);
}

void RecordingReporter::BusyStateChanged(BusyState state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_states_.push_back(state);
    if (state == BusyState::kIdle) ++idle_reports_;
  }
  changed_.notify_all();
}

TreeItem RecordingReporter::InsertCdItem(Tree tree, std::string_view label, CdNode* cd,
                                         bool first) {
  std::lock_guard<std::mutex> lock(mutex_);
  TreeState& s = state(tree);
  const TreeItem item = ++next_item_;
  s.items[item] = Item{std::string(label), cd, kNoTreeItem, {}};
  if (first) {
    s.top.insert(s.top.begin(), item);
  } else {
    s.top.push_back(item);
  }
  return item;
}

TreeItem RecordingReporter::InsertTrackItem(Tree tree, TreeItem cd_item, std::string_view label,
                                            TrackNode* track) {
  std::lock_guard<std::mutex> lock(mutex_);
  TreeState& s = state(tree);
  auto parent = s.items.find(cd_item);
  if (parent == s.items.end()) return kNoTreeItem;
  const TreeItem item = ++next_item_;
  parent->second.children.push_back(item);
  s.items[item] = Item{std::string(label), track, cd_item, {}};
  return item;
}

void RecordingReporter::SetItemLabel(Tree tree, TreeItem item, std::string_view label) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = state(tree).items.find(item);
  if (found != state(tree).items.end()) found->second.label = std::string(label);
}

void RecordingReporter::EraseLocked(TreeState& s, TreeItem item) {
  auto found = s.items.find(item);
  if (found == s.items.end()) return;
  const std::vector<TreeItem> children = found->second.children;
  for (TreeItem child : children) EraseLocked(s, child);
  const TreeItem parent = found->second.parent;
  if (parent == kNoTreeItem) {
    s.top.erase(std::remove(s.top.begin(), s.top.end(), item), s.top.end());
  } else if (auto p = s.items.find(parent); p != s.items.end()) {
    auto& siblings = p->second.children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
  }
  s.items.erase(item);
}

void RecordingReporter::DeleteItem(Tree tree, TreeItem item) {
  std::lock_guard<std::mutex> lock(mutex_);
  EraseLocked(state(tree), item);
}

void RecordingReporter::DeleteChildren(Tree tree, TreeItem item) {
  std::lock_guard<std::mutex> lock(mutex_);
  TreeState& s = state(tree);
  auto found = s.items.find(item);
  if (found == s.items.end()) return;
  const std::vector<TreeItem> children = found->second.children;
  for (TreeItem child : children) EraseLocked(s, child);
}

void RecordingReporter::ClearTree(Tree tree) {
  std::lock_guard<std::mutex> lock(mutex_);
  state(tree) = TreeState{};
}

void RecordingReporter::RedrawTree(Tree tree) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++state(tree).redraws;
}

void RecordingReporter::BeginAll(int pending_cds) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("beginAll " + std::to_string(pending_cds));
}

void RecordingReporter::BeginCd(int tracks) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("beginCd " + std::to_string(tracks));
}

void RecordingReporter::BeginTrack(std::string_view title, uint32_t clusters) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("track " + std::string(title) + " " + std::to_string(clusters));
}

void RecordingReporter::TrackPosition(uint32_t cluster_index) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("pos " + std::to_string(cluster_index));
}

void RecordingReporter::EndAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back("endAll");
}

std::string RecordingReporter::TreeText(Tree tree) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const TreeState& s = state(tree);
  std::string text;
  for (TreeItem top : s.top) {
    const Item& cd = s.items.at(top);
    text += cd.label + "\n";
    for (TreeItem child : cd.children) text += "  " + s.items.at(child).label + "\n";
  }
  return text;
}

std::vector<std::string> RecordingReporter::TopLabels(Tree tree) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> labels;
  for (TreeItem top : state(tree).top) labels.push_back(state(tree).items.at(top).label);
  return labels;
}

std::vector<std::string> RecordingReporter::ChildLabels(Tree tree, TreeItem item) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> labels;
  auto found = state(tree).items.find(item);
  if (found == state(tree).items.end()) return labels;
  for (TreeItem child : found->second.children) labels.push_back(state(tree).items.at(child).label);
  return labels;
}

std::string RecordingReporter::Label(Tree tree, TreeItem item) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = state(tree).items.find(item);
  return found == state(tree).items.end() ? std::string() : found->second.label;
}

bool RecordingReporter::HasItem(Tree tree, TreeItem item) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state(tree).items.count(item) != 0;
}

std::vector<std::string> RecordingReporter::statuses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statuses_;
}

std::string RecordingReporter::lastStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statuses_.empty() ? std::string() : statuses_.back();
}

std::vector<DeviceState> RecordingReporter::deviceStates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_states_;
}

std::vector<BusyState> RecordingReporter::busyStates() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return busy_states_;
}

std::vector<std::string> RecordingReporter::progress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_;
}

bool RecordingReporter::WaitForIdleReports(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return idle_reports_ >= count; });
}

}  // namespace jukepak::testing
