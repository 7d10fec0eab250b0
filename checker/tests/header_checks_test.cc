// The header checks: their order, their texts, the CD-area rule and the
// arithmetic that must not wrap.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "checker/testing/engine_fixtures.h"
#include "format/format_constants.h"
#include "format/layout.h"

namespace jukepak::checker {
namespace {

using testing::RecordingSink;

struct Fields {
  uint32_t fatStart = 4, fatSectors = 489, audioStart = 31, audioClusters = 62469;
  uint32_t cdStart = 0, cdCount = 0;
};

std::array<uint8_t, 1024> MakeHeader(const Fields& f) {
  std::array<uint8_t, 1024> h{};
  std::copy(format::kVolumeSignature, format::kVolumeSignature + 4, h.begin());
  StoreLe32(h.data() + format::kFatStartOffset, f.fatStart);
  StoreLe32(h.data() + format::kFatSectorsOffset, f.fatSectors);
  StoreLe32(h.data() + format::kAudioStartOffset, f.audioStart);
  StoreLe32(h.data() + format::kAudioClustersOffset, f.audioClusters);
  StoreLe32(h.data() + format::kCdStartOffset, f.cdStart);
  StoreLe32(h.data() + format::kCdCountOffset, f.cdCount);
  return h;
}

// The messages VerifyHeader reports for the header over a drive of n sectors;
// an empty list means every check passed.
std::vector<std::string> Verify(std::array<uint8_t, 1024> header, uint32_t n) {
  RecordingSink sink;
  CheckEngine engine;
  engine.SetMessageSink(&sink);
  engine.SetDriveSize(n);
  engine.AttachHeader(header.data());
  const int verdict = engine.VerifyHeader();
  EXPECT_EQ(verdict == kHeaderSound, sink.messages.empty());
  EXPECT_LE(sink.messages.size(), 1u) << "only the first failing check is reported";
  return sink.messages;
}

using Lines = std::vector<std::string>;

uint32_t AudioEnd(const Fields& f) { return (f.audioStart + f.audioClusters) * 16; }

TEST(HeaderChecks, FreshLayoutsPass) {
  EXPECT_EQ(Verify(MakeHeader(Fields{}), 1000000), Lines{});
  for (uint32_t n : {100u, 3071u, 999999u, 12594960u, 1u << 28, 0xFFFFFFFFu}) {
    VolumeLayout l;
    ASSERT_TRUE(ComputeLayout(n, &l).ok());
    EXPECT_EQ(Verify(MakeHeader({l.fatStart, l.fatSectors, l.audioStart, l.audioClusters}), n),
              Lines{})
        << n;
  }
}

TEST(HeaderChecks, EachCheckInOrder) {
  auto header = MakeHeader(Fields{});
  header[3] = 'X';
  EXPECT_EQ(Verify(header, 1000000), Lines{"Invalid header signature\n"});

  Fields early;
  early.audioStart = 30;  // 480 < 489 + 4
  EXPECT_EQ(Verify(MakeHeader(early), 1000000), Lines{"Audio data starts too early!\n"});
  early.fatStart = 3;  // check 2 comes before check 3
  EXPECT_EQ(Verify(MakeHeader(early), 1000000), Lines{"Audio data starts too early!\n"});

  Fields low;
  low.fatStart = 3;
  EXPECT_EQ(Verify(MakeHeader(low), 1000000), Lines{"FAT starts at sector <4!\n"});

  Fields overlap;
  overlap.fatSectors = 493;  // the FAT ends at 497, the audio area starts at 496
  EXPECT_EQ(Verify(MakeHeader(overlap), 1000000), Lines{"Audio data overlaps end of FAT!\n"});

  Fields small;
  small.fatSectors = 400;
  EXPECT_EQ(Verify(MakeHeader(small), 1000000), Lines{"FAT is too small!\n"});

  Fields big;
  big.fatSectors = 490;
  EXPECT_EQ(Verify(MakeHeader(big), 1000000), Lines{"FAT is too big!\n"});
}

TEST(HeaderChecks, FatSizeLimitIsInclusive) {
  const uint32_t n = 2048 * 489 - 2047;  // fatSectors * 2048 == N + 2047
  VolumeLayout l;
  ASSERT_TRUE(ComputeLayout(n, &l).ok());
  ASSERT_EQ(l.fatSectors, 489u);
  Fields f{l.fatStart, l.fatSectors, l.audioStart, l.audioClusters};
  EXPECT_EQ(Verify(MakeHeader(f), n), Lines{});
  f.fatSectors = 490;
  EXPECT_EQ(Verify(MakeHeader(f), n), Lines{"FAT is too big!\n"});
}

TEST(HeaderChecks, CdRunEndsAtTheEndOfTheAudioArea) {
  Fields f;
  f.cdCount = 3;
  f.cdStart = AudioEnd(f) - 3;
  EXPECT_EQ(Verify(MakeHeader(f), 1000000), Lines{});

  // The drive may run on for up to 15 sectors after the audio area and its CDs.
  for (uint32_t n : {AudioEnd(f), AudioEnd(f) + 15}) EXPECT_EQ(Verify(MakeHeader(f), n), Lines{});
  EXPECT_EQ(Verify(MakeHeader(f), AudioEnd(f) + 16), Lines{"Incorrectly sized audio area\n"});

  Fields past = f;
  past.cdStart = AudioEnd(f) - 2;  // the run reaches one sector past the audio area
  EXPECT_EQ(Verify(MakeHeader(past), 1000000), Lines{"CD sectors overlap end of audio data!\n"});

  Fields at_drive_end = f;  // CD records after the audio area, at the end of the drive
  at_drive_end.cdStart = AudioEnd(f) + 10 - 3;
  EXPECT_EQ(Verify(MakeHeader(at_drive_end), AudioEnd(f) + 10),
            Lines{"CD sectors overlap end of audio data!\n"});

  Fields into_placeholder = f;  // the run may not reach below cluster 2
  into_placeholder.cdStart = (f.audioStart + 2) * 16 - 1;
  into_placeholder.cdCount = AudioEnd(f) - into_placeholder.cdStart;
  EXPECT_EQ(Verify(MakeHeader(into_placeholder), 1000000),
            Lines{"CD sectors overlap end of audio data!\n"});
  into_placeholder.cdStart += 1;
  into_placeholder.cdCount -= 1;
  EXPECT_EQ(Verify(MakeHeader(into_placeholder), 1000000), Lines{});

  Fields short_run = f;
  short_run.cdStart = AudioEnd(f) - 4;  // ends one sector before the audio area does
  EXPECT_EQ(Verify(MakeHeader(short_run), 1000000), Lines{"CD's don't start at end of drive!\n"});

  // An empty CD area's cdStart is not looked at (Songlift leaves it one past the last).
  Fields emptied;
  emptied.cdStart = AudioEnd(emptied);
  EXPECT_EQ(Verify(MakeHeader(emptied), 1000000), Lines{});
}

TEST(HeaderChecks, AudioAreaMustEndWithinSixteenSectorsOfTheDrive) {
  Fields f;
  f.audioClusters = 62468;  // ends 16 sectors before the end
  EXPECT_EQ(Verify(MakeHeader(f), 1000000), Lines{"Incorrectly sized audio area\n"});
  EXPECT_EQ(Verify(MakeHeader(f), 999999), Lines{});  // 15 sectors
  f.audioClusters = 62470;                            // runs past the drive
  EXPECT_EQ(Verify(MakeHeader(f), 1000000), Lines{"Incorrectly sized audio area\n"});
}

TEST(HeaderChecks, HugeFieldsDoNotWrapAround) {
  Fields far_fat;
  far_fat.fatStart = 0xFFFFFFF0;  // 32-bit sums would wrap below the audio start
  EXPECT_EQ(Verify(MakeHeader(far_fat), 1000000), Lines{"Audio data starts too early!\n"});

  Fields far_audio;
  far_audio.audioClusters = 0xFFFFFFF0;
  EXPECT_EQ(Verify(MakeHeader(far_audio), 1000000), Lines{"Incorrectly sized audio area\n"});

  Fields far_cds;
  far_cds.cdCount = 0x80000000;
  far_cds.cdStart = 0x80000000 + AudioEnd(far_cds);  // cdStart + cdCount wraps to the audio end
  EXPECT_EQ(Verify(MakeHeader(far_cds), 1000000), Lines{"CD sectors overlap end of audio data!\n"});
}

TEST(HeaderChecks, WithoutAHeaderTheVerdictIsReinitialize) {
  CheckEngine engine;
  EXPECT_EQ(engine.VerifyHeader(), kHeaderNeedsReinitializing);
}

}  // namespace
}  // namespace jukepak::checker
