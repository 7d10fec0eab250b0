// Chains taken from the in-memory FAT: order, wrap-round, the limit, undo.

#include "volume/cluster_allocator.h"

#include <gtest/gtest.h>

#include <vector>

#include "format/format_constants.h"

namespace jukepak {
namespace {

constexpr uint32_t kFree = format::kFatFree;
constexpr uint32_t kEnd = format::kFatEndOfChain;

TEST(ClusterAllocator, TakesAscendingFreeClustersAndLinksThem) {
  Fat fat;
  fat.Reset(2);  // 256 entries
  fat.set(0, 1);
  fat.set(1, kEnd);
  fat.set(3, kEnd);
  for (uint32_t s = 0; s < 2; ++s) fat.clearDirty(s);
  uint32_t next = 2;
  std::vector<uint32_t> chain;
  ASSERT_TRUE(AllocateChain(fat, 200, 3, &next, &chain).ok());
  EXPECT_EQ(chain, (std::vector<uint32_t>{2, 4, 5}));
  EXPECT_EQ(fat.entry(2), 4u);
  EXPECT_EQ(fat.entry(4), 5u);
  EXPECT_EQ(fat.entry(5), kEnd);
  EXPECT_EQ(next, 6u);
  EXPECT_TRUE(fat.dirty(0));
  EXPECT_FALSE(fat.dirty(1));
}

TEST(ClusterAllocator, WrapsToTheLowestFreeClusterAndNeverPassesTheLimit) {
  Fat fat;
  fat.Reset(1);
  for (uint32_t c = 0; c < 128; ++c) fat.set(c, kEnd);
  fat.set(7, kFree);
  fat.set(90, kFree);
  fat.set(100, kFree);  // at the limit: never handed out
  uint32_t next = 50;   // a delete below it did not lower it
  std::vector<uint32_t> chain;
  ASSERT_TRUE(AllocateChain(fat, 100, 2, &next, &chain).ok());
  EXPECT_EQ(chain, (std::vector<uint32_t>{90, 7}));
  EXPECT_EQ(fat.entry(90), 7u);
  EXPECT_EQ(fat.entry(7), kEnd);
  EXPECT_EQ(fat.entry(100), kFree);
}

TEST(ClusterAllocator, FullFatFailsWithoutChangingAnything) {
  Fat fat;
  fat.Reset(1);
  for (uint32_t c = 0; c < 10; ++c) fat.set(c, kEnd);
  fat.clearDirty(0);
  uint32_t next = 10;
  std::vector<uint32_t> chain;
  const Result r = AllocateChain(fat, 12, 3, &next, &chain);
  EXPECT_EQ(r.code(), ResultCode::kNoSpace);
  EXPECT_EQ(r.message(), "The player is full.");
  EXPECT_EQ(fat.entry(10), kFree);
  EXPECT_EQ(fat.entry(11), kFree);
  EXPECT_FALSE(fat.dirty(0));
  EXPECT_EQ(next, 10u);
  EXPECT_TRUE(chain.empty());
}

TEST(ClusterAllocator, FreeChainReturnsClustersAndLowersNextFree) {
  Fat fat;
  fat.Reset(1);
  uint32_t next = 20;
  std::vector<uint32_t> chain;
  ASSERT_TRUE(AllocateChain(fat, 128, 4, &next, &chain).ok());
  EXPECT_EQ(next, 24u);
  FreeChain(fat, chain, &next);
  for (uint32_t c : chain) EXPECT_EQ(fat.entry(c), kFree);
  EXPECT_EQ(next, 20u);
}

}  // namespace
}  // namespace jukepak
