// Value snapshots of the engine's two lists, the player's directory and the
// pending additions, as the front ends show them. The engine sends a new
// snapshot whenever a list changes (volume_reporter.h); a front end keeps
// its own copy and never looks into the engine's nodes.
//
// Every CD and track carries the id of the engine's node (CdNode::id,
// TrackNode::id): stable while the node lives, never reused, and kept by a
// pending song when the sync makes it a player track. Front ends name the
// entries they act on by these ids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jukepak {

struct TrackView {
  uint64_t id = 0;
  std::string label;   // as the tree shows it (UTF-8)
  std::string title;   // UTF-8
  std::string artist;  // UTF-8
  uint64_t audioBytes = 0;
  std::string sourcePath;  // pending songs: the file on the PC
  bool estimated = false;  // pending songs the sync converts: audioBytes is a guess
};

struct CdView {
  uint64_t id = 0;
  std::string label;   // "ARTIST / ALBUM" (UTF-8)
  std::string artist;  // UTF-8
  std::string album;   // UTF-8
  std::vector<TrackView> tracks;  // in play order
};

// The player's directory: CDs in the order of the CD area.
struct DirectorySnapshot {
  uint64_t sequence = 0;  // grows with every snapshot the engine makes
  std::vector<CdView> cds;
  uint32_t freeKilobytes = 0;
};

// The pending additions: CDs in the order they were created, oldest first.
struct PendingSnapshot {
  uint64_t sequence = 0;  // grows with every snapshot the engine makes
  std::vector<CdView> cds;
  uint32_t downloadKilobytes = 0;
};

}  // namespace jukepak
