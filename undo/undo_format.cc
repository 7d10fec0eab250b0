#include "undo/undo_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

namespace jukepak::undo {
namespace {

constexpr char kMagic[8] = {'J', 'K', 'U', 'N', 'D', 'O', 0, 1};
constexpr uint32_t kVersion = 1;

bool TagIs(const uint8_t* p, const char tag[4]) { return std::memcmp(p, tag, 4) == 0; }

// A block of `size` bytes whose last four are the crc32 of the others.
bool ReadChecked(const UndoStore& store, uint64_t offset, size_t size, std::vector<uint8_t>* out) {
  if (store.Size() < offset || store.Size() - offset < size) return false;
  out->resize(size);
  if (!store.ReadAt(offset, size, out->data()).ok()) return false;
  return Crc32(out->data(), size - 4) == LoadLe32(out->data() + size - 4);
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  while (size > 0) {
    const uInt chunk = uInt(std::min<size_t>(size, 1u << 30));
    crc = uint32_t(crc32(crc, data, chunk));
    data += chunk;
    size -= chunk;
  }
  return crc;
}

std::array<uint8_t, kUndoHeaderSize> EncodeHeader(uint32_t drive_sectors,
                                                  const std::string& operation) {
  std::array<uint8_t, kUndoHeaderSize> h{};
  std::memcpy(h.data(), kMagic, 8);
  StoreLe32(h.data() + 8, kVersion);
  StoreLe32(h.data() + 12, drive_sectors);
  std::memcpy(h.data() + 16, operation.data(), std::min(operation.size(), kOperationNameSize - 1));
  StoreLe32(h.data() + 60, Crc32(h.data(), 60));
  return h;
}

std::array<uint8_t, kSavedBlockSize> EncodeSaved(uint32_t sector, uint32_t index,
                                                 const uint8_t* old_content) {
  std::array<uint8_t, kSavedBlockSize> b{};
  std::memcpy(b.data(), "SAVE", 4);
  StoreLe32(b.data() + 4, sector);
  StoreLe32(b.data() + 8, index);
  std::memcpy(b.data() + 16, old_content, kUndoSectorSize);
  uint32_t crc = Crc32(b.data(), 12);
  crc = Crc32(b.data() + 16, kUndoSectorSize, crc);
  StoreLe32(b.data() + 12, crc);
  return b;
}

std::vector<uint8_t> EncodeDone(const std::vector<uint32_t>& new_crcs) {
  std::vector<uint8_t> b(8 + 4 * new_crcs.size() + 8);
  std::memcpy(b.data(), "DONE", 4);
  StoreLe32(b.data() + 4, uint32_t(new_crcs.size()));
  for (size_t i = 0; i < new_crcs.size(); ++i) StoreLe32(b.data() + 8 + 4 * i, new_crcs[i]);
  const size_t tail = 8 + 4 * new_crcs.size();
  StoreLe32(b.data() + tail, Crc32(b.data() + 8, 4 * new_crcs.size()));
  StoreLe32(b.data() + tail + 4, Crc32(b.data(), tail + 4));
  return b;
}

std::array<uint8_t, 8> EncodeMarker(const char tag[4]) {
  std::array<uint8_t, 8> b{};
  std::memcpy(b.data(), tag, 4);
  StoreLe32(b.data() + 4, Crc32(b.data(), 4));
  return b;
}

Result ReadUndoFile(const UndoStore& store, UndoFile* file) {
  UndoFile f;
  if (store.Size() < kUndoHeaderSize) {
    f.empty = true;
    *file = std::move(f);
    return Result::Ok();
  }
  std::vector<uint8_t> block;
  if (!ReadChecked(store, 0, kUndoHeaderSize, &block) || std::memcmp(block.data(), kMagic, 8) != 0 ||
      LoadLe32(block.data() + 8) != kVersion) {
    return Result::Error(ResultCode::kCorrupt, "not an undo file, or its header is damaged");
  }
  f.driveSectors = LoadLe32(block.data() + 12);
  f.operation.assign(reinterpret_cast<const char*>(block.data() + 16),
                     strnlen(reinterpret_cast<const char*>(block.data() + 16),
                             kOperationNameSize));
  uint64_t at = kUndoHeaderSize;
  uint8_t tag[8];
  while (store.Size() - at >= 8 && store.ReadAt(at, 8, tag).ok()) {
    if (TagIs(tag, "SAVE") && !f.finished) {
      if (store.Size() - at < kSavedBlockSize) break;
      block.resize(kSavedBlockSize);
      if (!store.ReadAt(at, kSavedBlockSize, block.data()).ok()) break;
      uint32_t crc = Crc32(block.data(), 12);
      crc = Crc32(block.data() + 16, kUndoSectorSize, crc);
      if (crc != LoadLe32(block.data() + 12) || LoadLe32(block.data() + 8) != f.sectors.size()) {
        break;
      }
      f.sectors.push_back(LoadLe32(block.data() + 4));
      f.offsets.push_back(at + 16);
      at += kSavedBlockSize;
    } else if (TagIs(tag, "DONE") && !f.finished) {
      const uint64_t count = LoadLe32(tag + 4);
      if (count != f.sectors.size()) break;
      const size_t size = size_t(8 + 4 * count + 8);
      if (!ReadChecked(store, at, size, &block)) break;
      for (uint64_t i = 0; i < count; ++i) f.newCrcs.push_back(LoadLe32(block.data() + 8 + 4 * i));
      f.finished = true;
      at += size;
    } else if ((TagIs(tag, "UNDO") || TagIs(tag, "REST")) &&
               Crc32(tag, 4) == LoadLe32(tag + 4)) {
      (TagIs(tag, "UNDO") ? f.undoBegun : f.restored) = true;
      at += 8;
    } else {
      break;
    }
  }
  *file = std::move(f);
  return Result::Ok();
}

}  // namespace jukepak::undo
