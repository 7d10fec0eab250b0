#include "format/fat.h"

#include <algorithm>

#include "base/byte_order.h"

namespace jukepak {

void Fat::Reset(uint32_t sectors) {
  entries_.assign(size_t(sectors) * format::kFatEntriesPerSector, format::kFatFree);
  dirty_.assign(sectors, 0);
}

void Fat::Decode(const uint8_t* bytes, uint32_t sectors) {
  entries_.resize(size_t(sectors) * format::kFatEntriesPerSector);
  for (size_t i = 0; i < entries_.size(); ++i) entries_[i] = LoadLe32(bytes + 4 * i);
  dirty_.assign(sectors, 0);
}

void Fat::EncodeSector(uint32_t sector, uint8_t* out) const {
  const size_t first = size_t(sector) * format::kFatEntriesPerSector;
  for (uint32_t i = 0; i < format::kFatEntriesPerSector; ++i) {
    StoreLe32(out + 4 * i, entries_[first + i]);
  }
}

void Fat::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  dirty_.clear();
  dirty_.shrink_to_fit();
}

bool Fat::anyDirty() const {
  return std::any_of(dirty_.begin(), dirty_.end(), [](uint8_t d) { return d != 0; });
}

}  // namespace jukepak
