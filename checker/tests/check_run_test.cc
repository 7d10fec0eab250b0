// A whole run as Volmend's worker makes it: the lines and progress texts,
// the dry run that writes nothing, the repair that starts from the volume as
// read, the reinitialize question, failures of the device and the stop check.

#include "checker/check_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/byte_order.h"

#include "checker/testing/scripted_console.h"
#include "checker/tests/check_fixture.h"
#include "format/format_constants.h"
#include "testing/fault_device.h"
#include "testing/scripted_device.h"

namespace jukepak::checker {
namespace {

using jukepak::testing::DeviceCall;
using jukepak::testing::FaultDevice;
using jukepak::testing::Repeat;
using jukepak::testing::ScriptedDevice;
using testing::ScriptedConsole;
using Lines = std::vector<std::string>;
using P = Problem;

class CheckRunTest : public SmallVolumeTest {
 protected:
  // Two CDs with one crosslink and one broken chain: Three, scanned first,
  // runs into One, which is whole; Two's chain ends on a free entry after
  // the clusters its size needs.
  void Damage() {
    const int a = AddCd("A");
    AddTrack(a, "One", 3);  // 2..4
    AddTrack(a, "Two", 2);  // 5..6
    const int b = AddCd("B");
    AddTrack(b, "Three", 2);  // 7..8
    PatchFat(8, 3);           // Three runs into One
    PatchFat(6, format::kFatFree);
  }
  void BreakSignature() {
    uint8_t sector[512];
    ASSERT_TRUE(device.Read(0, 1, sector).ok());
    sector[0] = 'X';
    ASSERT_TRUE(device.Write(0, 1, sector).ok());
  }
};

TEST_F(CheckRunTest, SoundVolumeIsReportedOkAndNothingIsWritten) {
  AddTrack(AddCd("A"), "One", 3);
  const uint64_t writes = device.writeCalls();
  ScriptedConsole console;
  EXPECT_EQ(RunCheck(device, console), CheckOutcome::kClean);
  EXPECT_EQ(console.lines,
            (Lines{"Jukepak integrity checker - V0.01", "Device found [9.76MB]- reading header...",
                   "Clusters used: 5 - %00 of drive"}));
  EXPECT_EQ(console.titles.front(), "Seeking device...");
  EXPECT_EQ(console.titles.back(), "Filesystem is OK");
  EXPECT_NE(std::find(console.titles.begin(), console.titles.end(), "Reading CD sectors"),
            console.titles.end());
  EXPECT_NE(
      std::find(console.titles.begin(), console.titles.end(), "Checking filesystem integrity..."),
      console.titles.end());
  EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kFilesystemOk});
  EXPECT_EQ(console.offers, 0);
  EXPECT_EQ(device.writeCalls(), writes);
  EXPECT_EQ(device.openCount(), 1);
  EXPECT_EQ(device.closeCount(), 0) << "the caller closes the device";
}

TEST_F(CheckRunTest, DriveSizeIsShownInMegabytesWithTwoDecimals) {
  for (auto [sectors, text] : {std::pair<uint32_t, const char*>{2048, "1.00"}, {3071, "1.49"}}) {
    jukepak::testing::SparseDevice blank(sectors);
    ScriptedConsole console;
    console.decision = RepairDecision::kLeave;
    EXPECT_EQ(RunCheck(blank, console), CheckOutcome::kLeft);
    EXPECT_EQ(console.lines, (Lines{"Jukepak integrity checker - V0.01",
                                    std::string("Device found [") + text + "MB]- reading header...",
                                    "Invalid header signature",
                                    "Fatal errors detected - filesystem will require "
                                    "reinitializing."}));
    EXPECT_TRUE(console.askedForReinitialize);
    EXPECT_EQ(blank.writeCalls(), 0u);
  }
}

TEST_F(CheckRunTest, ProgressIsShownOnlyWhenItChangesAndNeverReaches100) {
  jukepak::testing::SparseDevice large(600000);  // a FAT of 293 sectors
  jukepak::testing::VolumeBuilder builder(&large);
  ASSERT_TRUE(builder.Format().ok());
  ScriptedConsole console;
  EXPECT_EQ(RunCheck(large, console), CheckOutcome::kClean);
  Lines fat;
  for (const auto& t : console.titles) {
    if (t.rfind("Reading FAT - ", 0) == 0) fat.push_back(t);
  }
  ASSERT_EQ(fat.size(), 100u);
  for (int i = 0; i < 100; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "Reading FAT - %%%02d", i);
    EXPECT_EQ(fat[size_t(i)], text);
  }
}

TEST_F(CheckRunTest, RepairStartsFromTheVolumeAsRead) {
  Damage();
  const auto before = device.contents();
  ScriptedConsole console;
  console.decision = RepairDecision::kRepair;
  EXPECT_EQ(RunCheck(device, console), CheckOutcome::kRepaired);
  const Codes dry{P::kCrosslinked, P::kChainEndedAtSize, P::kChainEndedAtSize, P::kClustersUsed};
  // The repair pass finds the same faults in the same order: the dry run's
  // changes did not carry over.
  Codes both = dry;
  both.insert(both.end(), dry.begin(), dry.end());
  EXPECT_EQ(console.codes, both);
  EXPECT_EQ(Lines(console.lines.begin() + 2, console.lines.begin() + 3),
            Lines{"[B]:[Three] and [A]:[One] are crosslinked at cluster 00000003"});
  EXPECT_EQ(Lines(console.lines.begin() + 6, console.lines.begin() + 10),
            (Lines{"", "", "Repairing...", ""}));
  EXPECT_EQ(console.titles.back(), "Repairing drive...");
  EXPECT_EQ(console.offers, 1);
  EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kRepairsComplete});
  EXPECT_NE(device.contents(), before);

  ScriptedConsole again;
  EXPECT_EQ(RunCheck(device, again), CheckOutcome::kClean);
}

TEST_F(CheckRunTest, DeclinedOrStoppedRepairWritesNothing) {
  Damage();
  const auto before = device.contents();
  for (auto decision : {RepairDecision::kLeave, RepairDecision::kStop}) {
    ScriptedConsole console;
    console.decision = decision;
    EXPECT_EQ(RunCheck(device, console),
              decision == RepairDecision::kLeave ? CheckOutcome::kLeft : CheckOutcome::kCancelled);
    EXPECT_FALSE(console.askedForReinitialize);
    EXPECT_TRUE(console.notices.empty());
    EXPECT_EQ(device.contents(), before);
  }
}

TEST_F(CheckRunTest, HeaderBeyondRepairIsReinitializedOnlyOnYes) {
  AddTrack(AddCd("A"), "One", 3);
  BreakSignature();
  const auto before = device.contents();

  ScriptedConsole no;
  no.confirmReinitialize = false;
  EXPECT_EQ(RunCheck(device, no), CheckOutcome::kLeft);
  EXPECT_EQ(no.reinitializeQuestions, 1);
  EXPECT_EQ(no.lines.back(), "Fatal errors detected - filesystem will require reinitializing.");
  EXPECT_EQ(device.contents(), before);

  ScriptedConsole yes;
  EXPECT_EQ(RunCheck(device, yes), CheckOutcome::kReinitialized);
  EXPECT_EQ(yes.notices, std::vector<Notice>{Notice::kReinitialized});
  ScriptedConsole after;
  EXPECT_EQ(RunCheck(device, after), CheckOutcome::kClean);
  EXPECT_EQ(after.lines.back(), "Clusters used: 2 - %00 of drive");
}

TEST_F(CheckRunTest, FailedReinitializationIsReported) {
  BreakSignature();
  FaultDevice faulty(&device);
  faulty.plan().FailWriteCallsFrom(3, Repeat::kOnce);
  ScriptedConsole console;
  EXPECT_EQ(RunCheck(faulty, console), CheckOutcome::kReinitializeFailed);
  EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kReinitializeFailed});
}

TEST_F(CheckRunTest, DeviceFailuresWhileReadingAreCommunicationsErrors) {
  Damage();
  for (int what = 0; what < 2; ++what) {
    FaultDevice faulty(&device);
    what == 0 ? faulty.plan().FailOpens() : faulty.plan().FailSizeQueries();
    ScriptedConsole console;
    EXPECT_EQ(RunCheck(faulty, console), CheckOutcome::kCommunicationsError);
    EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kCommunicationsError});
  }
  // Every read of the run in turn: header, the CD run's scan, each FAT
  // sector, the CD sectors, each track record.
  uint64_t reads = 0;
  {
    FaultDevice counting(&device);
    ScriptedConsole console;
    console.decision = RepairDecision::kLeave;
    ASSERT_EQ(RunCheck(counting, console), CheckOutcome::kLeft);
    reads = counting.plan().readCalls();
  }
  ASSERT_EQ(reads, 1u + 1u + 10u + 1u + 3u);
  const auto before = device.contents();
  for (uint64_t n = 1; n <= reads; ++n) {
    FaultDevice faulty(&device);
    faulty.plan().FailReadCallsFrom(n, Repeat::kOnce);
    ScriptedConsole console;
    EXPECT_EQ(RunCheck(faulty, console), CheckOutcome::kCommunicationsError) << n;
    EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kCommunicationsError});
    EXPECT_EQ(console.offers, 0);
    EXPECT_EQ(faulty.plan().writeCalls(), 0u);
  }
  EXPECT_EQ(device.contents(), before);
}

TEST_F(CheckRunTest, FailedRepairWriteIsReportedNotCalledComplete) {
  Damage();
  uint64_t writes = 0;
  {
    jukepak::testing::SparseDevice copy = device;
    FaultDevice counting(&copy);
    ScriptedConsole console;
    ASSERT_EQ(RunCheck(counting, console), CheckOutcome::kRepaired);
    writes = counting.plan().writeCalls();
  }
  ASSERT_GE(writes, 2u);
  for (uint64_t n = 1; n <= writes; ++n) {
    jukepak::testing::SparseDevice copy(kSectors);
    for (const auto& [sector, bytes] : device.contents()) {
      ASSERT_TRUE(copy.Write(sector, 1, bytes.data()).ok());
    }
    FaultDevice faulty(&copy);
    faulty.plan().FailWriteCallsFrom(n, Repeat::kOnce);
    ScriptedConsole console;
    EXPECT_EQ(RunCheck(faulty, console), CheckOutcome::kCommunicationsError) << n;
    EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kCommunicationsError});
    EXPECT_EQ(faulty.plan().writeCalls(), n) << "the repair stops at the failed write";
    ScriptedConsole again;  // what was written is a consistent step: a new run finishes the job
    EXPECT_EQ(RunCheck(copy, again), CheckOutcome::kRepaired);
    ScriptedConsole last;
    EXPECT_EQ(RunCheck(copy, last), CheckOutcome::kClean);
  }
}

TEST_F(CheckRunTest, StopCheckEndsTheRunWhereverItIsAsked) {
  Damage();
  uint64_t checks = 0;
  {
    jukepak::testing::SparseDevice copy(kSectors);
    for (const auto& [sector, bytes] : device.contents()) {
      ASSERT_TRUE(copy.Write(sector, 1, bytes.data()).ok());
    }
    ScriptedConsole console;
    ASSERT_EQ(RunCheck(copy, console), CheckOutcome::kRepaired);
    checks = console.stopChecks;
  }
  ASSERT_GT(checks, 12u) << "reading and repairing ask";
  for (uint64_t n = 1; n <= checks; ++n) {
    jukepak::testing::SparseDevice copy(kSectors);
    for (const auto& [sector, bytes] : device.contents()) {
      ASSERT_TRUE(copy.Write(sector, 1, bytes.data()).ok());
    }
    ScriptedConsole console;
    console.stopAtCheck = n;
    EXPECT_EQ(RunCheck(copy, console), CheckOutcome::kCancelled) << n;
    EXPECT_TRUE(console.notices.empty());
    // Stopped between two flushed steps: a new run repairs the rest.
    ScriptedConsole again;
    const CheckOutcome next = RunCheck(copy, again);
    EXPECT_TRUE(next == CheckOutcome::kRepaired || next == CheckOutcome::kClean) << n;
    ScriptedConsole last;
    EXPECT_EQ(RunCheck(copy, last), CheckOutcome::kClean) << n;
  }
}

TEST_F(CheckRunTest, GarbledTrackRecordIsReadAgainUpToThreeTimes) {
  const uint32_t start = AddTrack(AddCd("A"), "One", 3);
  const uint32_t sector = uint32_t(volume.header().ClusterSector(start));
  for (int garbled : {1, 2, 3}) {
    // The record's first `garbled` reads come back with a broken index mark,
    // as over a flaky link.
    ScriptedDevice flaky(&device);
    int reads = 0;
    flaky.AfterRead([&](const DeviceCall& call, uint8_t* out) {
      if (call.sector != sector || ++reads > garbled) return;
      uint8_t* mark = out + format::kIndexMarksOffset + 5 * 1;
      mark[0] = 0xD0;
      mark[1] = 0x00;
      mark[2] = 0xD0;
    });
    ScriptedConsole console;
    console.decision = RepairDecision::kLeave;
    const CheckOutcome outcome = RunCheck(flaky, console);
    EXPECT_EQ(reads, std::min(garbled + 1, 3)) << garbled;
    EXPECT_EQ(outcome, garbled < 3 ? CheckOutcome::kClean : CheckOutcome::kLeft) << garbled;
    if (garbled == 3) {
      EXPECT_EQ(console.codes.front(), P::kIndexMark);
      EXPECT_EQ(console.lines[2], "[A]:[One] has invalid index mark 00d000d0");
    }
  }
}

TEST_F(CheckRunTest, DriveTooSmallForAVolumeSaysItsSizeAndTheMinimum) {
  for (uint32_t sectors : {0u, 1u, 63u}) {
    jukepak::testing::SparseDevice tiny(sectors);
    ScriptedConsole console;
    EXPECT_EQ(RunCheck(tiny, console), CheckOutcome::kDriveTooSmall);
    EXPECT_EQ(console.codes, Codes{P::kDriveTooSmall});
    EXPECT_EQ(console.lines.back(), "The drive holds " + std::to_string(sectors) +
                                        " sectors; a volume needs at least 64");
    EXPECT_EQ(console.notices, std::vector<Notice>{Notice::kDriveTooSmall});
    EXPECT_EQ(tiny.writeCalls(), 0u);
  }
}

// Crafted CD fields on the largest drive the player can address: the run
// reads no more CD sectors than the drive holds (a count of 2^32 - 1 once
// aborted it allocating them), rebuilds the fields from the run of CD
// records and leaves a volume a second run calls clean.
TEST(CraftedHeader, LargestDriveIsCheckedAndRepairedWithinItsSize) {
  constexpr uint32_t n = 1u << 28;
  jukepak::testing::SparseDevice device(n);
  jukepak::testing::VolumeBuilder volume(&device);
  ASSERT_TRUE(volume.Format().ok());
  struct Case {
    uint32_t cdStart, cdCount;
  } cases[] = {{0, 0xFFFFFFFFu}, {n - 99903, 99903}};
  for (const Case& c : cases) {
    SCOPED_TRACE("cdStart " + std::to_string(c.cdStart) + ", cdCount " + std::to_string(c.cdCount));
    uint8_t header[512];
    ASSERT_TRUE(device.Read(0, 1, header).ok());
    StoreLe32(header + format::kCdStartOffset, c.cdStart);
    StoreLe32(header + format::kCdCountOffset, c.cdCount);
    ASSERT_TRUE(device.Write(0, 1, header).ok());

    ScriptedConsole repair;
    EXPECT_EQ(RunCheck(device, repair), CheckOutcome::kRepaired);
    ScriptedConsole again;
    again.decision = RepairDecision::kLeave;
    EXPECT_EQ(RunCheck(device, again), CheckOutcome::kClean);
    ASSERT_TRUE(device.Read(0, 1, header).ok());
    EXPECT_EQ(LoadLe32(header + format::kCdCountOffset), 0u);
    EXPECT_EQ(LoadLe32(header + format::kCdStartOffset), 0u);
  }
}

}  // namespace
}  // namespace jukepak::checker
