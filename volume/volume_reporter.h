// VolumeReporter: how the engine tells its front end what happens. The window,
// the command-line tool and the tests' recorder each implement it.
//
// Calls come from whichever thread runs the engine: the worker thread for
// jobs (mount, sync, initialize), the caller's thread for short edits. A
// window implementation delivers worker calls to its own thread and makes the
// worker wait until they have run, so that the returned tree handles are
// valid when the call returns.
#pragma once

#include <cstdint>
#include <string_view>

namespace jukepak {

struct CdNode;
struct TrackNode;

// What the player can do now.
enum class DeviceState : int {
  kNoDriver = 0,        // no usable driver (not loaded, lacks entries, Open failed, failed later)
  kStartUp = 1,         // volume not looked at yet
  kNoVolume = 2,        // driver bound, no usable volume on the drive
  kVolumeNotLoaded = 3, // valid volume found, directory not loaded
  kReady = 4,           // directory loaded
};

// Which job runs.
// kRepair: the checker repairs the mounted volume (Songlift's "fix them now").
// kCopy: tracks are being copied off the player to the PC (a task).
enum class BusyState : int {
  kIdle = 0,
  kMount = 1,
  kSync = 2,
  kInitialize = 3,
  kRepair = 4,
  kCopy = 5,
};

enum class Tree { kPending, kPlayer };

// An opaque handle of a tree item, handed out by the front end. 0 is none.
using TreeItem = std::uintptr_t;
inline constexpr TreeItem kNoTreeItem = 0;

class VolumeReporter {
 public:
  virtual ~VolumeReporter() = default;

  // The status line. Texts are UTF-8.
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void DeviceStateChanged(DeviceState state) = 0;
  virtual void BusyStateChanged(BusyState state) = 0;

  // Tree edits. Labels are UTF-8. A CD item goes first or last among the
  // tree's top-level items; a track item goes last among its CD's children.
  virtual TreeItem InsertCdItem(Tree tree, std::string_view label, CdNode* cd, bool first) = 0;
  virtual TreeItem InsertTrackItem(Tree tree, TreeItem cd_item, std::string_view label,
                                   TrackNode* track) = 0;
  virtual void SetItemLabel(Tree tree, TreeItem item, std::string_view label) = 0;
  // Deletes the item and all its children.
  virtual void DeleteItem(Tree tree, TreeItem item) = 0;
  virtual void DeleteChildren(Tree tree, TreeItem item) = 0;
  virtual void ClearTree(Tree tree) = 0;
  virtual void RedrawTree(Tree tree) = 0;

  // Progress of a sync (titles UTF-8), in this order: BeginAll once; per pending CD BeginCd;
  // per track BeginTrack, then TrackPosition after each further cluster; EndAll.
  virtual void BeginAll(int pending_cds) = 0;
  virtual void BeginCd(int tracks) = 0;
  virtual void BeginTrack(std::string_view title, uint32_t clusters) = 0;
  virtual void TrackPosition(uint32_t cluster_index) = 0;
  virtual void EndAll() = 0;
};

// A reporter that keeps nothing: tree handles are counted so they stay
// distinct. The command-line tool derives from it for what it prints.
class QuietReporter : public VolumeReporter {
 public:
  void ShowStatus(std::string_view) override {}
  void DeviceStateChanged(DeviceState) override {}
  void BusyStateChanged(BusyState) override {}
  TreeItem InsertCdItem(Tree, std::string_view, CdNode*, bool) override { return ++last_item_; }
  TreeItem InsertTrackItem(Tree, TreeItem, std::string_view, TrackNode*) override {
    return ++last_item_;
  }
  void SetItemLabel(Tree, TreeItem, std::string_view) override {}
  void DeleteItem(Tree, TreeItem) override {}
  void DeleteChildren(Tree, TreeItem) override {}
  void ClearTree(Tree) override {}
  void RedrawTree(Tree) override {}
  void BeginAll(int) override {}
  void BeginCd(int) override {}
  void BeginTrack(std::string_view, uint32_t) override {}
  void TrackPosition(uint32_t) override {}
  void EndAll() override {}

 private:
  TreeItem last_item_ = kNoTreeItem;
};

}  // namespace jukepak
