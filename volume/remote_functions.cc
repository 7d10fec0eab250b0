#include "volume/remote_functions.h"

#include "format/format_constants.h"
#include "format/remote_code_table.h"

namespace jukepak {
namespace {

// The code bytes (bytes 0 and 1) of an entry.
uint32_t CodeBytes(uint32_t entry) { return entry & 0xFFFF; }

}  // namespace

const std::array<RemoteFunction, kRemoteFunctionCount>& RemoteFunctions() {
  static const std::array<RemoteFunction, kRemoteFunctionCount> functions = {{
      {1, "Play/Stop", "&Play/Stop", 1022, 1, 1},
      {2, "Volume up", "&Up", 1029, 2, 2},
      {3, "Volume down", "&Down", 1030, 2, 0},
      {4, "Fast forward", "&Fast Forward", 1024, 1, 2},
      {5, "Rewind", "&Rewind", 1025, 1, 0},
      {6, "Track up", "Up", 1032, 4, 2},
      {7, "Track down", "Down", 1031, 4, 0},
      {8, "CD up", "Up", 1034, 3, 2},
      {9, "CD down", "Down", 1033, 3, 0},
      {10, "Treble up", "Up", 1036, 5, 2},
      {11, "Treble down", "Down", 1035, 5, 0},
      {12, "Bass up", "Up", 1038, 6, 2},
      {13, "Bass down", "Down", 1037, 6, 0},
      {14, "Next", "&Next", 1027, 7, 2},
      {15, "Previous", "&Previous", 1028, 7, 0},
      {16, "Mode", "&Mode", 1026, 7, 1},
  }};
  return functions;
}

RemoteAssignments LoadRemoteAssignments(const VolumeHeader& header) {
  RemoteAssignments entries{};
  for (int n = 1; n <= kRemoteFunctionCount; ++n) {
    for (uint32_t slot = 0; slot < format::kRemoteSlots; ++slot) {
      const uint32_t entry = header.remoteEntry(slot);
      const RemoteCodeEntry decoded = DecodeRemoteEntry(entry);
      if (decoded.function == n && decoded.code != 0) entries[size_t(n - 1)] = entry;
    }
  }
  return entries;
}

uint32_t RemoteEntryFor(uint32_t code, int number) {
  return EncodeRemoteEntry({uint16_t(code & 0xFFFF), uint8_t(number), 0});
}

std::array<uint32_t, kRemoteFunctionCount> RemoteConflictGroups(const RemoteAssignments& entries) {
  std::array<uint32_t, kRemoteFunctionCount> groups{};
  uint32_t next_group = 1;
  for (size_t i = 1; i < entries.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (CodeBytes(entries[i]) != CodeBytes(entries[j])) continue;
      if (groups[j] != 0) {
        groups[i] = groups[j];
      } else {
        groups[i] = groups[j] = next_group++;
      }
      break;
    }
  }
  return groups;
}

bool AnyRemoteConflict(const RemoteAssignments& entries) {
  for (uint32_t group : RemoteConflictGroups(entries)) {
    if (group != 0) return true;
  }
  return false;
}

void StoreRemoteAssignments(const RemoteAssignments& entries, VolumeHeader* header) {
  for (uint32_t slot = 0; slot < format::kRemoteSlots; ++slot) header->setRemoteEntry(slot, 0);
  for (size_t i = 0; i < entries.size(); ++i) header->setRemoteEntry(uint32_t(i), entries[i]);
}

}  // namespace jukepak
