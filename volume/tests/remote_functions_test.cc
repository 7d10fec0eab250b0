// Assigning remote-control codes to the player's functions.

#include <gtest/gtest.h>

#include "format/remote_code_table.h"
#include "format/volume_header.h"
#include "volume/remote_functions.h"

namespace jukepak {
namespace {

VolumeHeader DefaultTable() {
  VolumeHeader h;
  for (uint32_t slot = 0; slot < 100; ++slot) h.setRemoteEntry(slot, DefaultRemoteEntry(slot));
  return h;
}

TEST(RemoteFunctions, AFreshVolumeGivesEveryFunctionItsOwnDefaultCode) {
  const RemoteAssignments entries = LoadRemoteAssignments(DefaultTable());
  for (int n = 1; n <= 16; ++n) {
    const RemoteCodeEntry e = DecodeRemoteEntry(entries[size_t(n - 1)]);
    EXPECT_EQ(e.code, 0x3200 + n - 1);
    EXPECT_EQ(e.function, n);
  }
  EXPECT_FALSE(AnyRemoteConflict(entries));
}

TEST(RemoteFunctions, TheLastSlotForAFunctionWinsAndStraySlotsAreIgnored) {
  VolumeHeader h;
  h.setRemoteEntry(3, EncodeRemoteEntry({0x1111, 5, 0}));
  h.setRemoteEntry(90, EncodeRemoteEntry({0x2222, 5, 0}));
  h.setRemoteEntry(91, EncodeRemoteEntry({0x3333, 0, 0}));   // names no function
  h.setRemoteEntry(92, EncodeRemoteEntry({0x4444, 17, 0}));  // names no function
  h.setRemoteEntry(93, EncodeRemoteEntry({0, 6, 0}));        // assigns no code
  const RemoteAssignments entries = LoadRemoteAssignments(h);
  EXPECT_EQ(DecodeRemoteEntry(entries[4]).code, 0x2222);
  EXPECT_EQ(entries[5], 0u);
  StoreRemoteAssignments(entries, &h);
  EXPECT_EQ(h.remoteEntry(4), EncodeRemoteEntry({0x2222, 5, 0}));
  for (uint32_t slot = 16; slot < 128; ++slot) EXPECT_EQ(h.remoteEntry(slot), 0u) << slot;
}

TEST(RemoteFunctions, AReceivedCodeIsStoredHighByteFirst) {
  VolumeHeader h;
  RemoteAssignments entries{};
  entries[1] = RemoteEntryFor(258, 2);
  StoreRemoteAssignments(entries, &h);
  EXPECT_EQ(h.data()[512 + 4], 1);
  EXPECT_EQ(h.data()[512 + 5], 2);
  EXPECT_EQ(h.data()[512 + 6], 2);
  EXPECT_EQ(RemoteEntryFor(0x12345, 3), RemoteEntryFor(0x2345, 3));  // 16 bits only
}

TEST(RemoteFunctions, FunctionsSharingACodeFormOneGroup) {
  RemoteAssignments entries = LoadRemoteAssignments(DefaultTable());
  entries[1] = RemoteEntryFor(0x3202, 2);  // function 2 takes function 3's code
  auto groups = RemoteConflictGroups(entries);
  EXPECT_EQ(groups[1], 1u);
  EXPECT_EQ(groups[2], 1u);
  for (size_t i = 3; i < 16; ++i) EXPECT_EQ(groups[i], 0u);
  entries[15] = RemoteEntryFor(0x3202, 16);  // a third joins the same group
  groups = RemoteConflictGroups(entries);
  EXPECT_EQ(groups[15], 1u);
  entries[7] = RemoteEntryFor(0x3200, 8);  // another pair gets the next group
  groups = RemoteConflictGroups(entries);
  EXPECT_EQ(groups[0], 2u);
  EXPECT_EQ(groups[7], 2u);
  entries[1] = RemoteEntryFor(0x7777, 2);  // teaching another code leaves the group
  entries[15] = RemoteEntryFor(0x7778, 16);
  groups = RemoteConflictGroups(entries);
  EXPECT_EQ(groups[1], 0u);
  EXPECT_EQ(groups[2], 0u);
}

TEST(RemoteFunctions, FunctionsWithoutACodeConflictWithEachOther) {
  RemoteAssignments entries = LoadRemoteAssignments(DefaultTable());
  entries[4] = 0;
  EXPECT_FALSE(AnyRemoteConflict(entries));
  entries[9] = 0;
  const auto groups = RemoteConflictGroups(entries);
  EXPECT_NE(groups[4], 0u);
  EXPECT_EQ(groups[4], groups[9]);
}

}  // namespace
}  // namespace jukepak
