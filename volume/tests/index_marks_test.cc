// Choosing index marks from cluster start times.

#include "volume/index_marks.h"

#include <gtest/gtest.h>

#include <vector>

#include "format/index_mark.h"
#include "format/layout.h"
#include "volume/mpeg_frame_scanner.h"
#include "volume/tests/test_media.h"

namespace jukepak {
namespace {

TEST(IndexMarks, CountIsOnePerTwoWholeSecondsUpTo178) {
  EXPECT_EQ(IndexMarkCount(0.0), 0u);
  EXPECT_EQ(IndexMarkCount(1.5), 0u);
  EXPECT_EQ(IndexMarkCount(3.9), 1u);
  EXPECT_EQ(IndexMarkCount(180.02), 90u);
  EXPECT_EQ(IndexMarkCount(355.99), 177u);
  EXPECT_EQ(IndexMarkCount(356.0), 178u);
  EXPECT_EQ(IndexMarkCount(4000.0), 178u);
}

// Clusters 1 second apart, on a chain that is not contiguous.
struct Track {
  std::vector<double> times;
  std::vector<uint32_t> chain;
  explicit Track(size_t clusters) {
    for (size_t c = 0; c < clusters; ++c) {
      times.push_back(double(c));
      chain.push_back(uint32_t(1000 + 3 * c));
    }
  }
};

TEST(IndexMarks, EachMarkNamesTheFirstClusterAtOrAfterItsTarget) {
  Track track(200);
  TrackRecord record;
  const double time = 180.5;  // 90 marks, targets ~2.005 s apart
  PlaceIndexMarks(time, track.times, track.chain, &record);
  ASSERT_EQ(record.CountIndexMarks(), 90);
  for (uint32_t i = 0; i < 90; ++i) {
    const double target = i * time / 90;
    size_t c = 0;
    while (double(c) < target) ++c;
    const IndexMark mark = DecodeIndexMark(record.indexSlot(i));
    EXPECT_EQ(mark.cluster, track.chain[c]) << i;
    EXPECT_EQ(mark.minutes * 60 + mark.seconds, c) << i;  // the cluster's time, not the target
    EXPECT_EQ(mark.tenths, 0u);
  }
  EXPECT_EQ(record.indexSlot(0)[0], uint8_t(track.chain[0]));  // 0:00.0 at the first cluster
  const uint8_t* end = record.indexSlot(90);
  EXPECT_EQ(end[0], 0xFE);
  EXPECT_EQ(end[1], 0xFF);
  EXPECT_EQ(end[2], 0xFF);
}

TEST(IndexMarks, ShortTrackGetsOnlyTheTerminator) {
  Track track(3);
  TrackRecord record;
  PlaceIndexMarks(1.5, track.times, track.chain, &record);
  EXPECT_EQ(record.CountIndexMarks(), 0);
  EXPECT_EQ(record.indexSlot(0)[0], 0xFE);
}

TEST(IndexMarks, SearchStopsAtTheLastClusterWithAFrameStart) {
  // The last clusters recorded no frame start and kept 0.0.
  std::vector<double> times = {0.0, 10.0, 20.0, 0.0, 0.0};
  std::vector<uint32_t> chain = {5, 6, 7, 8, 9};
  TrackRecord record;
  PlaceIndexMarks(30.0, times, chain, &record);  // 15 marks, targets up to 28 s
  ASSERT_EQ(record.CountIndexMarks(), 15);
  const IndexMark last = DecodeIndexMark(record.indexSlot(14));
  EXPECT_EQ(last.cluster, 7u);
  EXPECT_EQ(last.seconds, 20u);
  EXPECT_EQ(DecodeIndexMark(record.indexSlot(5)).cluster, 6u);  // target 10 s: the 10 s cluster
  EXPECT_EQ(DecodeIndexMark(record.indexSlot(6)).cluster, 7u);  // target 12 s: the 20 s cluster
}

// 8 kbit/s MPEG-2.5 Layer III at 8 kHz: 72-byte frames of 0.072 s, so a
// cluster spans about 8 s, and this length leaves the last cluster all filler.
TEST(IndexMarks, MarksOfALowBitrateTrackNeverGoBackInTime) {
  constexpr uint32_t kMpeg25Frame8k = 0xFFE31804;
  const std::vector<uint8_t> audio = testing::Frames(kMpeg25Frame8k, 72, 5447);
  const uint32_t clusters = uint32_t(ClustersForAudio(audio.size()));
  std::vector<double> times(clusters, 0.0);
  std::vector<uint32_t> chain;
  for (uint32_t c = 0; c < clusters; ++c) chain.push_back(100 + c);
  const double time = ScanMpegFrames(audio, times);
  ASSERT_GT(time, 356.0);
  ASSERT_EQ(times.back(), 0.0);

  TrackRecord record;
  PlaceIndexMarks(time, times, chain, &record);
  ASSERT_EQ(record.CountIndexMarks(), 178);
  uint32_t previous = 0;
  for (uint32_t i = 0; i < 178; ++i) {
    const IndexMark mark = DecodeIndexMark(record.indexSlot(i));
    const uint32_t tenths = (mark.minutes * 60 + mark.seconds) * 10 + mark.tenths;
    EXPECT_GE(tenths, previous) << "mark " << i;
    EXPECT_LT(mark.cluster, chain.back()) << "mark " << i << " names the filler cluster";
    previous = tenths;
  }
}

TEST(IndexMarks, LongTrackOver64MinutesStoresMinutesModulo64) {
  const double time = 65 * 60 + 5.5;
  std::vector<double> times = {0.0, time};
  std::vector<uint32_t> chain = {2, 3};
  TrackRecord record;
  PlaceIndexMarks(time + 10, times, chain, &record);
  ASSERT_EQ(record.CountIndexMarks(), 178);
  const uint8_t* mark = record.indexSlot(1);  // names cluster 3 at 65:05.5
  EXPECT_EQ(mark[0], 3);
  EXPECT_EQ(mark[3], 0x54);  // seconds 5, tenths 4
  EXPECT_EQ(mark[4], 0x01);  // 65 mod 64
}

}  // namespace
}  // namespace jukepak
