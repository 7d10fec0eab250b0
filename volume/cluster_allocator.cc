#include "volume/cluster_allocator.h"

#include <algorithm>

#include "base/debug_channel.h"
#include "format/format_constants.h"

namespace jukepak {
namespace {

// Appends free clusters of [from, to) to *found until it holds `count`.
void CollectFree(const Fat& fat, uint32_t from, uint32_t to, uint32_t count,
                 std::vector<uint32_t>* found) {
  for (uint32_t c = from; c < to && found->size() < count; ++c) {
    if (fat.entry(c) == format::kFatFree) found->push_back(c);
  }
}

}  // namespace

Result AllocateChain(Fat& fat, uint32_t limit, uint32_t count, uint32_t* next_free,
                     std::vector<uint32_t>* chain) {
  limit = std::min(limit, fat.entryCount());
  const uint32_t start = std::min(*next_free, limit);
  std::vector<uint32_t> found;
  found.reserve(count);
  CollectFree(fat, start, limit, count, &found);
  CollectFree(fat, 0, start, count, &found);
  if (found.size() < count || count == 0) {
    return Result::Error(ResultCode::kNoSpace, "The player is full.");
  }
  for (size_t i = 0; i < found.size(); ++i) {
    DebugPrint("take cluster: %08x\n", found[i]);
    fat.set(found[i], i + 1 < found.size() ? found[i + 1] : format::kFatEndOfChain);
  }
  uint32_t next = found.back() + 1;
  while (next < limit && fat.entry(next) != format::kFatFree) ++next;
  *next_free = next;
  *chain = std::move(found);
  return Result::Ok();
}

void FreeChain(Fat& fat, const std::vector<uint32_t>& chain, uint32_t* next_free) {
  for (uint32_t c : chain) {
    if (c >= fat.entryCount()) continue;
    fat.set(c, format::kFatFree);
    if (c < *next_free) *next_free = c;
  }
}

}  // namespace jukepak
