// Fat: the cluster allocation table in memory, one 32-bit entry per cluster,
// with a dirty flag per 512-byte FAT sector. Entry values: kFatFree,
// kFatEndOfChain, or the next cluster of the chain.
#pragma once

#include <cstdint>
#include <vector>

#include "format/format_constants.h"

namespace jukepak {

class Fat {
 public:
  // An empty table of `sectors` sectors: every entry free, nothing dirty.
  void Reset(uint32_t sectors);
  // Replaces the table with `sectors` sectors decoded from `bytes`; nothing dirty.
  void Decode(const uint8_t* bytes, uint32_t sectors);
  // The 512 bytes of FAT sector `sector`.
  void EncodeSector(uint32_t sector, uint8_t* out) const;
  void Clear();

  bool loaded() const { return !entries_.empty(); }
  uint32_t sectorCount() const { return uint32_t(dirty_.size()); }
  uint32_t entryCount() const { return uint32_t(entries_.size()); }

  uint32_t entry(uint32_t cluster) const { return entries_[cluster]; }
  // Sets an entry and marks its sector dirty.
  void set(uint32_t cluster, uint32_t value) {
    entries_[cluster] = value;
    dirty_[cluster / format::kFatEntriesPerSector] = 1;
  }

  bool dirty(uint32_t sector) const { return dirty_[sector] != 0; }
  void clearDirty(uint32_t sector) { dirty_[sector] = 0; }
  void markDirty(uint32_t sector) { dirty_[sector] = 1; }
  bool anyDirty() const;

 private:
  std::vector<uint32_t> entries_;
  std::vector<uint8_t> dirty_;
};

}  // namespace jukepak
