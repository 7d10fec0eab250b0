// The header checks: their order, their texts, the CD-area rule and the
// arithmetic that must not wrap.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "checker/testing/engine_fixtures.h"
#include "checker/tests/check_fixture.h"
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

// The problems VerifyHeader raises for the header over a drive of n sectors;
// an empty list means every rule holds.
std::vector<Problem> Verify(std::array<uint8_t, 1024> header, uint32_t n) {
  RecordingSink sink;
  CheckEngine engine;
  engine.SetFindingSink(&sink);
  engine.SetDriveSize(n);
  engine.AttachHeader(header.data());
  const HeaderRule rule = engine.VerifyHeader();
  EXPECT_EQ(rule == HeaderRule::kSound, sink.findings.empty());
  EXPECT_EQ(rule, FirstBrokenRule(header.data(), n)) << "one rule set for both engines";
  EXPECT_LE(sink.findings.size(), 1u) << "only the first failing check is reported";
  return sink.codes();
}

using Codes = std::vector<Problem>;
using P = Problem;

uint32_t AudioEnd(const Fields& f) { return (f.audioStart + f.audioClusters) * 16; }

TEST(HeaderChecks, FreshLayoutsPass) {
  EXPECT_EQ(Verify(MakeHeader(Fields{}), 1000000), Codes{});
  for (uint32_t n : {100u, 3071u, 999999u, 12594960u, 1u << 28, 0xFFFFFFFFu}) {
    VolumeLayout l;
    ASSERT_TRUE(ComputeLayout(n, &l).ok());
    EXPECT_EQ(Verify(MakeHeader({l.fatStart, l.fatSectors, l.audioStart, l.audioClusters}), n),
              Codes{})
        << n;
  }
}

TEST(HeaderChecks, EachCheckInOrder) {
  auto header = MakeHeader(Fields{});
  header[3] = 'X';
  EXPECT_EQ(Verify(header, 1000000), Codes{P::kHeaderSignature});

  Fields early;
  early.audioStart = 30;  // 480 < 489 + 4
  EXPECT_EQ(Verify(MakeHeader(early), 1000000), Codes{P::kAudioStartsTooEarly});
  early.fatStart = 3;  // check 2 comes before check 3
  EXPECT_EQ(Verify(MakeHeader(early), 1000000), Codes{P::kAudioStartsTooEarly});

  Fields low;
  low.fatStart = 3;
  EXPECT_EQ(Verify(MakeHeader(low), 1000000), Codes{P::kFatStartsTooEarly});

  Fields overlap;
  overlap.fatSectors = 493;  // the FAT ends at 497, the audio area starts at 496
  EXPECT_EQ(Verify(MakeHeader(overlap), 1000000), Codes{P::kAudioOverlapsFat});

  Fields small;
  small.fatSectors = 400;
  EXPECT_EQ(Verify(MakeHeader(small), 1000000), Codes{P::kFatTooSmall});

  Fields big;
  big.fatSectors = 490;
  EXPECT_EQ(Verify(MakeHeader(big), 1000000), Codes{P::kFatTooBig});
}

TEST(HeaderChecks, FatSizeLimitIsInclusive) {
  const uint32_t n = 2048 * 489 - 2047;  // fatSectors * 2048 == N + 2047
  VolumeLayout l;
  ASSERT_TRUE(ComputeLayout(n, &l).ok());
  ASSERT_EQ(l.fatSectors, 489u);
  Fields f{l.fatStart, l.fatSectors, l.audioStart, l.audioClusters};
  EXPECT_EQ(Verify(MakeHeader(f), n), Codes{});
  f.fatSectors = 490;
  EXPECT_EQ(Verify(MakeHeader(f), n), Codes{P::kFatTooBig});
}

TEST(HeaderChecks, CdRunEndsAtTheEndOfTheAudioArea) {
  Fields f;
  f.cdCount = 3;
  f.cdStart = AudioEnd(f) - 3;
  EXPECT_EQ(Verify(MakeHeader(f), 1000000), Codes{});

  // The drive may run on for up to 15 sectors after the audio area and its CDs.
  for (uint32_t n : {AudioEnd(f), AudioEnd(f) + 15}) EXPECT_EQ(Verify(MakeHeader(f), n), Codes{});
  EXPECT_EQ(Verify(MakeHeader(f), AudioEnd(f) + 16), Codes{P::kAudioAreaMisSized});

  Fields past = f;
  past.cdStart = AudioEnd(f) - 2;  // the run reaches one sector past the audio area
  EXPECT_EQ(Verify(MakeHeader(past), 1000000), Codes{P::kCdRunOverlapsAudio});

  Fields at_drive_end = f;  // CD records after the audio area, at the end of the drive
  at_drive_end.cdStart = AudioEnd(f) + 10 - 3;
  EXPECT_EQ(Verify(MakeHeader(at_drive_end), AudioEnd(f) + 10),
            Codes{P::kCdRunOverlapsAudio});

  Fields into_placeholder = f;  // the run may not reach below cluster 2
  into_placeholder.cdStart = (f.audioStart + 2) * 16 - 1;
  into_placeholder.cdCount = AudioEnd(f) - into_placeholder.cdStart;
  EXPECT_EQ(Verify(MakeHeader(into_placeholder), 1000000),
            Codes{P::kCdRunOverlapsAudio});
  into_placeholder.cdStart += 1;
  into_placeholder.cdCount -= 1;
  EXPECT_EQ(Verify(MakeHeader(into_placeholder), 1000000), Codes{});

  Fields short_run = f;
  short_run.cdStart = AudioEnd(f) - 4;  // ends one sector before the audio area does
  EXPECT_EQ(Verify(MakeHeader(short_run), 1000000), Codes{P::kCdRunNotAtEnd});

  // The rules do not look at an empty CD area's cdStart (the header verdict
  // sets it to 0).
  Fields emptied;
  emptied.cdStart = AudioEnd(emptied);
  EXPECT_EQ(Verify(MakeHeader(emptied), 1000000), Codes{});
}

TEST(HeaderChecks, AudioAreaMustEndWithinSixteenSectorsOfTheDrive) {
  Fields f;
  f.audioClusters = 62468;  // ends 16 sectors before the end
  EXPECT_EQ(Verify(MakeHeader(f), 1000000), Codes{P::kAudioAreaMisSized});
  EXPECT_EQ(Verify(MakeHeader(f), 999999), Codes{});  // 15 sectors
  f.audioClusters = 62470;                            // runs past the drive
  EXPECT_EQ(Verify(MakeHeader(f), 1000000), Codes{P::kAudioAreaMisSized});
}

TEST(HeaderChecks, HugeFieldsDoNotWrapAround) {
  Fields far_fat;
  far_fat.fatStart = 0xFFFFFFF0;  // 32-bit sums would wrap below the audio start
  EXPECT_EQ(Verify(MakeHeader(far_fat), 1000000), Codes{P::kAudioStartsTooEarly});

  Fields far_audio;
  far_audio.audioClusters = 0xFFFFFFF0;
  EXPECT_EQ(Verify(MakeHeader(far_audio), 1000000), Codes{P::kAudioAreaMisSized});

  Fields far_cds;
  far_cds.cdCount = 0x80000000;
  far_cds.cdStart = 0x80000000 + AudioEnd(far_cds);  // cdStart + cdCount wraps to the audio end
  EXPECT_EQ(Verify(MakeHeader(far_cds), 1000000), Codes{P::kCdRunOverlapsAudio});
}

TEST(HeaderChecks, WithoutAHeaderTheSignatureRuleFails) {
  CheckEngine engine;
  EXPECT_EQ(engine.VerifyHeader(), HeaderRule::kSignature);
}


// The header verdict over a volume: fields that can be worked out again are
// rebuilt and every track survives; what cannot be is left for reinitializing.
class HeaderRebuildTest : public SmallVolumeTest {
 protected:
  void SetUp() override {
    SmallVolumeTest::SetUp();
    const int a = AddCd("A");
    AddTrack(a, "One", 3);
    AddTrack(a, "Two", 1);
    AddTrack(AddCd("B"), "Three", 2);
  }
  uint32_t Field(uint32_t offset) {
    uint8_t sector[512];
    EXPECT_TRUE(device.Read(0, 1, sector).ok());
    return LoadLe32(sector + offset);
  }
  void SetField(uint32_t offset, uint32_t value) {
    uint8_t sector[512];
    ASSERT_TRUE(device.Read(0, 1, sector).ok());
    StoreLe32(sector + offset, value);
    ASSERT_TRUE(device.Write(0, 1, sector).ok());
  }
  // The header as the builder wrote it, field by field.
  std::vector<uint32_t> Fields6() {
    std::vector<uint32_t> f;
    for (uint32_t offset = format::kFatStartOffset; offset <= format::kCdCountOffset; offset += 4) {
      f.push_back(Field(offset));
    }
    return f;
  }
};

TEST_F(HeaderRebuildTest, DerivableFieldsAreRebuiltAndKeepEveryTrack) {
  struct Case {
    uint32_t offset, value;
    Codes codes;
    uint32_t offset2 = 0, value2 = 0;  // a second field changed, when offset2 is not 0
  };
  const uint32_t end = 1250 * 16;  // (audioStart + audioClusters) * 16
  const Case cases[] = {
      {format::kFatStartOffset, 3, {P::kFatStartsTooEarly, P::kHeaderFieldRebuilt}},
      {format::kFatStartOffset, 5, {P::kHeaderFieldRebuilt}},  // keeps the rules, reads no FAT
      {format::kFatSectorsOffset, 11, {P::kFatTooBig, P::kHeaderFieldRebuilt}},
      {format::kAudioStartOffset, 2, {P::kCdRunNotAtEnd, P::kHeaderFieldRebuilt}},
      {format::kAudioClustersOffset, 1000, {P::kCdRunOverlapsAudio, P::kHeaderFieldRebuilt}},
      {format::kCdStartOffset, 0x1234, {P::kCdRunNotAtEnd, P::kCdRunRebuilt}},
      {format::kCdStartOffset, end - 3, {P::kCdRunNotAtEnd, P::kCdRunRebuilt}},
      {format::kCdStartOffset, end - 1, {P::kCdRunOverlapsAudio, P::kCdRunRebuilt}},
      {format::kCdCountOffset, 7, {P::kCdRunOverlapsAudio, P::kCdRunRebuilt}},
      {format::kCdCountOffset, 1, {P::kCdRunNotAtEnd, P::kCdRunRebuilt}},
      // An audio area far past the drive, and a CD run one record past it.
      {format::kAudioClustersOffset, 0xF7000000 + 1249, {P::kCdRunNotAtEnd, P::kHeaderFieldRebuilt, P::kCdRunRebuilt},
       format::kCdCountOffset, 3},
  };
  const std::vector<uint32_t> sound = Fields6();
  const auto before = device.contents();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "field at " << c.offset << " = " << c.value);
    device = jukepak::testing::SparseDevice(kSectors);
    for (const auto& [sector, bytes] : before) ASSERT_TRUE(device.Write(sector, 1, bytes.data()).ok());
    SetField(c.offset, c.value);
    if (c.offset2 != 0) SetField(c.offset2, c.value2);
    Codes expected = c.codes;
    expected.push_back(P::kClustersUsed);
    EXPECT_EQ(RepairTwice(), expected);
    EXPECT_EQ(Fields6(), sound);
    EXPECT_EQ(Check().findings.back().text, "Clusters used: 8 - %00 of drive\n")
        << "every track is still there";
  }
}

TEST_F(HeaderRebuildTest, CraftedCdCountCostsOnlyTheRunFound) {
  // A coherent run that reaches down to cluster 2: 19,952 records claimed,
  // two there.
  SetField(format::kCdStartOffset, 16 + 32);
  SetField(format::kCdCountOffset, 1250 * 16 - 48);
  const uint64_t reads = device.readCalls();
  EXPECT_EQ(RepairTwice(), (Codes{P::kCdRunRebuilt, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kCdRunRebuilt),
            "The header lists 19952 CD records from sector 48, but the run of CD records at the "
            "end of the audio area holds 2\n");
  EXPECT_EQ(Field(format::kCdCountOffset), 2u);
  EXPECT_EQ(Field(format::kCdStartOffset), 1250u * 16 - 2);
  EXPECT_LT(device.readCalls() - reads, 200u) << "the claimed run is never read whole";
}

TEST_F(HeaderRebuildTest, VolumeWithoutCdsKeepsItsRunAtZero) {
  Reformat();
  SetField(format::kCdStartOffset, 1250 * 16);  // where an emptied run used to end
  EXPECT_EQ(RepairTwice(), (Codes{P::kCdStartWithoutCds, P::kClustersUsed}));
  EXPECT_EQ(RepairedText(P::kCdStartWithoutCds),
            "The header places its CD records at sector 20000 but lists none; with no CD the "
            "place is 0\n");
  EXPECT_EQ(Field(format::kCdStartOffset), 0u);
}

TEST_F(HeaderRebuildTest, HeaderTheVolumeDisagreesWithIsBeyondRepair) {
  // A run moved away from the end of the audio area: a rebuild from the
  // records at the end would drop CDs the header lists.
  {
    uint8_t record[512];
    ASSERT_TRUE(device.Read(Field(format::kCdStartOffset), 1, record).ok());
    ASSERT_TRUE(device.Write(1000 * 16, 1, record).ok());
    const uint8_t zeros[512] = {};
    ASSERT_TRUE(device.Write(Field(format::kCdStartOffset), 1, zeros).ok());
    ASSERT_TRUE(device.Write(Field(format::kCdStartOffset) + 1, 1, zeros).ok());
    SetField(format::kCdStartOffset, 1000 * 16);
    SetField(format::kCdCountOffset, 1);
    EXPECT_EQ(Check().codes(), (Codes{P::kCdRunNotAtEnd, P::kNeedsReinitializing}));
  }
  Reformat();
  SetUp();
  SetField(format::kFatSectorsOffset, 11);
  const uint8_t zeros[512] = {};
  ASSERT_TRUE(device.Write(4, 1, zeros).ok());  // the placeholder's FAT entries are gone
  const testing::CheckResult result = Check();
  EXPECT_EQ(result.header, HeaderVerdict::kBeyondRepair);
  EXPECT_EQ(result.codes(), (Codes{P::kFatTooBig, P::kNeedsReinitializing}));

  SetField(format::kFatSectorsOffset, 10);
  uint8_t sector[512];
  ASSERT_TRUE(device.Read(0, 1, sector).ok());
  sector[1] = 'X';  // no signature: nothing to rebuild from
  ASSERT_TRUE(device.Write(0, 1, sector).ok());
  EXPECT_EQ(Check().codes(), (Codes{P::kHeaderSignature, P::kNeedsReinitializing}));
}
}  // namespace
}  // namespace jukepak::checker
