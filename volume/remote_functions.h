// The player's sixteen remote-control functions and how codes are assigned
// to them: loading the assignments from the code table, finding functions
// that share a code, and storing them back.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "format/volume_header.h"

namespace jukepak {

inline constexpr int kRemoteFunctionCount = 16;

struct RemoteFunction {
  int number;             // 1..16, as the player knows it
  const char* name;       // e.g. "Play/Stop"
  const char* caption;    // the button's caption in the learning dialog
  int controlId;          // the button's control id
  int row;                // 1..7 from the top
  int column;             // 0 left, 1 middle, 2 right
};

// In function-number order.
const std::array<RemoteFunction, kRemoteFunctionCount>& RemoteFunctions();

// Entry for function n at index n - 1 (0 where none), the whole 4-byte table entry.
using RemoteAssignments = std::array<uint32_t, kRemoteFunctionCount>;

// For each function, every slot of the 128 whose function byte names it and
// whose code is not 0 replaces the entry; the last such slot wins.
RemoteAssignments LoadRemoteAssignments(const VolumeHeader& header);

// The entry for `code` (its low 16 bits) assigned to function `number`.
uint32_t RemoteEntryFor(uint32_t code, int number);

// Conflict groups: 0 for none, else a group number from 1 up shared by every
// function with the same code bytes (functions without a code included, so
// two of those form a group too).
std::array<uint32_t, kRemoteFunctionCount> RemoteConflictGroups(const RemoteAssignments& entries);
bool AnyRemoteConflict(const RemoteAssignments& entries);

// Rewrites the whole table: slot i = entries[i] for the 16 functions,
// slots 16 to 127 zero.
void StoreRemoteAssignments(const RemoteAssignments& entries, VolumeHeader* header);

}  // namespace jukepak
