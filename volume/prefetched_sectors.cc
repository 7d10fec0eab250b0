#include "volume/prefetched_sectors.h"

#include <cstring>

#include "format/format_constants.h"

namespace jukepak {

Result PrefetchedSectors::Prefetch(uint32_t first, uint32_t count) {
  first_ = count_ = 0;
  bytes_.assign(size_t(count) * format::kSectorSize, 0);
  const Result r = ForwardingDevice::Read(first, count, bytes_.data());
  if (!r.ok()) {
    bytes_.clear();
    return r;
  }
  first_ = first;
  count_ = count;
  return r;
}

Result PrefetchedSectors::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  const bool inside = count_ != 0 && sector >= first_ && count <= count_ &&
                      uint64_t(sector - first_) + count <= count_;
  if (!inside) return ForwardingDevice::Read(sector, count, out);
  std::memcpy(out, bytes_.data() + size_t(sector - first_) * format::kSectorSize,
              size_t(count) * format::kSectorSize);
  return Result::Ok();
}

}  // namespace jukepak
