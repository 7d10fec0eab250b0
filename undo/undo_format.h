// The undo file: the old content of every sector an operation overwrote,
// saved before the first overwrite, and, once the operation has ended, a
// digest of what it left in those sectors. All integers little-endian.
//
//   header   64 bytes: "JKUNDO" 0 1, u32 version 1, u32 the drive's size in
//            sectors, 32 bytes naming the operation, crc32 of the rest
//   saved    528 bytes each: "SAVE", u32 sector, u32 index (0, 1, ...),
//            crc32 of the other 524 bytes, the sector's 512 old bytes
//   done     "DONE", u32 count, count x u32 crc32 of each saved sector's
//            new content (in index order), u32 crc32 of those, crc32 of
//            the block before it
//   undone   "UNDO" and its crc32: an undo has begun writing old contents
//   restored "REST" and its crc32: an undo has put them all back
//
// Blocks are only appended. A reader stops at the first block that is
// incomplete or fails its crc: a cut can tear only the last one, whose
// sector was not written yet.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "undo/undo_store.h"

namespace jukepak::undo {

inline constexpr uint32_t kUndoSectorSize = 512;
inline constexpr size_t kUndoHeaderSize = 64;
inline constexpr size_t kSavedBlockSize = 16 + kUndoSectorSize;
inline constexpr size_t kOperationNameSize = 32;

// zlib's CRC-32 of `size` bytes, continuing from `crc` (0 to start).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

std::array<uint8_t, kUndoHeaderSize> EncodeHeader(uint32_t drive_sectors,
                                                  const std::string& operation);
std::array<uint8_t, kSavedBlockSize> EncodeSaved(uint32_t sector, uint32_t index,
                                                 const uint8_t* old_content);
std::vector<uint8_t> EncodeDone(const std::vector<uint32_t>& new_crcs);
// "UNDO" or "REST".
std::array<uint8_t, 8> EncodeMarker(const char tag[4]);

// What an undo file holds, as far as it can be read.
struct UndoFile {
  // Shorter than a header: the operation was cut before its first save,
  // so it wrote nothing either.
  bool empty = false;
  uint32_t driveSectors = 0;
  std::string operation;
  std::vector<uint32_t> sectors;   // saved sectors, in index order
  std::vector<uint64_t> offsets;   // where each one's old content lies in the store
  bool finished = false;           // the operation ended and recorded its digest
  std::vector<uint32_t> newCrcs;   // when finished: each sector's new content
  bool undoBegun = false;
  bool restored = false;
};

// Reads the file in `store`. Fails with kCorrupt when its header is not an
// undo file's; a torn or damaged later block ends what is read. A store
// shorter than a header reads as an empty file.
Result ReadUndoFile(const UndoStore& store, UndoFile* file);

}  // namespace jukepak::undo
