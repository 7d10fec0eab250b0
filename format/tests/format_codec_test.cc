// The on-disk records against the byte examples of the volume format.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "format/cd_record.h"
#include "format/fat.h"
#include "format/index_mark.h"
#include "format/layout.h"
#include "format/remote_code_table.h"
#include "format/track_record.h"
#include "format/volume_header.h"

namespace jukepak {
namespace {

TEST(VolumeHeader, FieldsAreLittleEndianAtTheirOffsets) {
  VolumeHeader h;
  h.StampSignatureAndBanner();
  h.setFatStart(4);
  h.setFatSectors(0x01E9);
  h.setAudioStart(0x1F);
  h.setAudioClusters(0xF405);
  h.setCdStart(0x00ABCDEF);
  h.setCdCount(3);
  const uint8_t* b = h.data();
  EXPECT_EQ(0, std::memcmp(b, "MPFS\0\0\0\0", 8));
  EXPECT_EQ(h.banner().size(), 22u);
  EXPECT_EQ(b[8 + 22], 0);  // the banner's terminating zero
  EXPECT_EQ(b[31], 0);
  const std::array<uint8_t, 24> fields = {4,    0,    0,    0, 0xE9, 0x01, 0, 0, 0x1F, 0, 0, 0,
                                          0x05, 0xF4, 0,    0, 0xEF, 0xCD, 0xAB, 0, 3, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(b + 32, fields.data(), fields.size()));
  EXPECT_TRUE(h.HasSignature());
  EXPECT_EQ(h.AudioEndSector(), (0x1Fu + 0xF405u) * 16u);
}

TEST(RemoteCodeTable, EntriesStoreTheCodeHighByteFirst) {
  VolumeHeader h;
  h.setRemoteEntry(5, EncodeRemoteEntry({258, 2, 0}));
  EXPECT_EQ(h.data()[512 + 20], 1);
  EXPECT_EQ(h.data()[512 + 21], 2);
  EXPECT_EQ(h.data()[512 + 22], 2);
  const RemoteCodeEntry back = DecodeRemoteEntry(h.remoteEntry(5));
  EXPECT_EQ(back.code, 258);
  EXPECT_EQ(back.function, 2);
  // The default table: function n starts with 0x3200 + n - 1, bytes 0x32, i, i + 1, 0.
  const RemoteCodeEntry first = DecodeRemoteEntry(DefaultRemoteEntry(0));
  EXPECT_EQ(first.code, 0x3200);
  EXPECT_EQ(first.function, 1);
  h.setRemoteEntry(99, DefaultRemoteEntry(99));
  EXPECT_EQ(h.data()[512 + 396], 0x32);
  EXPECT_EQ(h.data()[512 + 397], 99);
  EXPECT_EQ(h.data()[512 + 398], 100);
}

TEST(IndexMark, MomentsEncodeAsTheFormatShowsThem) {
  uint8_t bytes[5];
  EncodeIndexMark(IndexMarkAt(0x123456, 65.5), bytes);  // 1:05.5, tenths 0.5 * 9.5 = 4
  EXPECT_EQ(bytes[0], 0x56);
  EXPECT_EQ(bytes[1], 0x34);
  EXPECT_EQ(bytes[2], 0x12);
  EXPECT_EQ(bytes[3], 0x54);
  EXPECT_EQ(bytes[4], 0x01);

  EncodeIndexMark(IndexMarkAt(7, 59.0), bytes);  // seconds 59 = 0b111011
  EXPECT_EQ(bytes[3], 0xB0);
  EXPECT_EQ(bytes[4], 0xC0);

  EncodeIndexMark(IndexMarkAt(7, 65 * 60 + 5.5), bytes);  // minutes are kept modulo 64
  EXPECT_EQ(bytes[4], 0x01);

  const IndexMark mark = DecodeIndexMark(bytes);
  EXPECT_EQ(mark.cluster, 7u);
  EXPECT_EQ(mark.minutes, 1u);
  EXPECT_EQ(mark.seconds, 5u);
  EXPECT_EQ(mark.tenths, 4u);

  // Fractions just below a whole second never give ten tenths.
  EXPECT_EQ(IndexMarkAt(0, 1.999999).tenths, 9u);
}

TEST(TrackRecord, TextsAndMarksHaveTheirPlaces) {
  TrackRecord t;
  t.StampSignature();
  t.setSize(1024 + 5000);
  t.setTitle(std::string(60, 'x'));  // cut to 47 characters and a zero
  t.setArtist("Band");
  EXPECT_EQ(0, std::memcmp(t.data(), "MPTK", 4));
  EXPECT_EQ(t.data()[4], (6024 & 0xFF));
  EXPECT_EQ(t.title(), std::string(47, 'x'));
  EXPECT_EQ(t.data()[8 + 47], 0);
  EXPECT_EQ(0, std::memcmp(t.data() + 56, "Band\0", 5));
  EXPECT_EQ(t.CountIndexMarks(), -1);  // nothing terminates an all-zero list
  EncodeIndexTerminator(t.indexSlot(2));
  EXPECT_EQ(t.data()[128 + 10], 0xFE);
  EXPECT_EQ(t.data()[128 + 12], 0xFF);
  EXPECT_EQ(t.CountIndexMarks(), 2);
}

TEST(CdRecord, HundredTracksFillTheSectorExactly) {
  CdRecord cd;
  cd.StampSignature();
  cd.setTrackCount(100);
  for (uint32_t i = 0; i < 100; ++i) cd.setStartCluster(i, 0x01020300 + i);
  EXPECT_EQ(cd.data()[508], 0x00 + 99);  // slot 99 is the sector's last four bytes
  EXPECT_EQ(cd.data()[511], 0x01);
  cd.setAlbum("Album");
  cd.setArtist("Artist");
  EXPECT_EQ(0, std::memcmp(cd.data() + 16, "Album\0", 6));
  EXPECT_EQ(0, std::memcmp(cd.data() + 64, "Artist\0", 7));

  cd.RemoveStartCluster(0, 3);
  EXPECT_EQ(cd.startCluster(0), 0x01020301u);
  EXPECT_EQ(cd.startCluster(1), 0x01020302u);
  EXPECT_EQ(cd.startCluster(2), 0u);
  cd.InsertStartCluster(1, 2, 77);
  EXPECT_EQ(cd.startCluster(0), 0x01020301u);
  EXPECT_EQ(cd.startCluster(1), 77u);
  EXPECT_EQ(cd.startCluster(2), 0x01020302u);
}

TEST(Fat, SectorsRoundTripAndTrackDirtiness) {
  Fat fat;
  fat.Reset(2);
  EXPECT_EQ(fat.entryCount(), 256u);
  EXPECT_FALSE(fat.anyDirty());
  fat.set(130, 0x00FFFFFE);
  EXPECT_FALSE(fat.dirty(0));
  EXPECT_TRUE(fat.dirty(1));
  uint8_t bytes[1024];
  fat.EncodeSector(0, bytes);
  fat.EncodeSector(1, bytes + 512);
  EXPECT_EQ(bytes[512 + 8], 0xFE);
  EXPECT_EQ(bytes[512 + 11], 0x00);
  EXPECT_EQ(bytes[0], 0xFF);
  Fat copy;
  copy.Decode(bytes, 2);
  EXPECT_EQ(copy.entry(130), 0x00FFFFFEu);
  EXPECT_EQ(copy.entry(0), 0x00FFFFFFu);
  EXPECT_FALSE(copy.anyDirty());
}

TEST(Layout, FollowsTheRuleFromTheDriveSize) {
  VolumeLayout l;
  ASSERT_TRUE(ComputeLayout(1000000, &l).ok());
  EXPECT_EQ(l.fatStart, 4u);
  EXPECT_EQ(l.fatSectors, 489u);
  EXPECT_EQ(l.audioStart, 31u);
  EXPECT_EQ(l.audioClusters, 62469u);
  ASSERT_TRUE(ComputeLayout(100, &l).ok());
  EXPECT_EQ(l.fatSectors, 1u);
  EXPECT_EQ(l.audioStart, 1u);
  EXPECT_EQ(l.audioClusters, 5u);
  ASSERT_TRUE(ComputeLayout(12594960, &l).ok());
  EXPECT_EQ(l.fatSectors, 6150u);
  // Drives too small for the placeholder and a song are refused, never wrapped.
  EXPECT_FALSE(ComputeLayout(10, &l).ok());
  EXPECT_FALSE(ComputeLayout(63, &l).ok());
  EXPECT_TRUE(ComputeLayout(64, &l).ok());
}

TEST(Layout, TracksTakeClustersAsTheSyncAllocates) {
  EXPECT_EQ(ClustersForAudio(6144), 1u);
  EXPECT_EQ(ClustersForAudio(6145), 2u);
  EXPECT_EQ(ClustersForAudio(7168), 2u);  // fits one cluster, takes two
  EXPECT_EQ(ClustersForAudio(14336), 2u);
  EXPECT_EQ(ClustersForAudio(14337), 3u);
  EXPECT_EQ(ClustersForAudio(5ull << 30), ((5ull << 30) + 10239) / 8192);  // no 32-bit wrap
}

}  // namespace
}  // namespace jukepak
