// portlink-sim.dld through its nine entry points, as the programs use it:
// open with the self tests and the EPP decision, transfers, the 28-bit
// limit, the disk size, the remote code, the lock, and every fault switch
// named in JUKEPAK_SIM_FAULTS with the texts the driver sends.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "driver/driver_module.h"
#include "driver/image_file.h"
#include "driver/tests/driver_test_support.h"

namespace jukepak {
namespace {

using testing::CountLines;
using testing::FdCapture;
using testing::ReadImageSectors;
using testing::ScopedEnv;
using testing::SectorPattern;
using testing::TempDir;

// The modules read JUKEPAK_DEBUG once, at their first text.
[[maybe_unused]] const bool kDebugChannelOn = setenv("JUKEPAK_DEBUG", "1", 1) == 0;

constexpr uint32_t kImageSectors = 8192;
const std::string kModulePath = std::string(JUKEPAK_BIN_DIR) + "/portlink-sim.dld";

class PortlinkSimModuleTest : public testing::ImageModuleTest {
 protected:
  PortlinkSimModuleTest() : ImageModuleTest("portlink-sim.dld", kImageSectors) {}

  // Opens with these faults; *texts gets the debug channel's output.
  int32_t OpenWith(const char* faults, std::string* texts = nullptr) {
    ScopedEnv env("JUKEPAK_SIM_FAULTS", faults);
    FdCapture err(2);
    const int32_t rc = e().Open();
    const std::string captured = err.Finish();
    if (texts != nullptr) *texts = captured;
    return rc;
  }
};

TEST_F(PortlinkSimModuleTest, NamesItselfAndIsValidWithoutOpen) {
  EXPECT_STREQ(e().GetDisplayName(), "Simulated Parallel Port");
  EXPECT_NE(e().QueryValidity(), 0);
  std::vector<uint8_t> buffer(512);
  uint32_t sectors = 0;
  int32_t code = 9;
  EXPECT_EQ(e().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(e().WriteSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(e().QueryNumSectors(&sectors), 1);
  e().ReadIR(&code);
  EXPECT_EQ(code, 0);
}

TEST_F(PortlinkSimModuleTest, OpenRunsTheFullSelfTestAndEnablesEpp) {
  std::string texts;
  ASSERT_EQ(OpenWith(nullptr, &texts), 0);
  const char* expected[] = {
      "Opening EPP driver\n", "checking comms... \n",       "testing SRAM... \n",
      "resetting IDE... \n",  "testing IDE register... \n", "testing IDE in EPP mode\n",
      "EPP enabled\n"};
  size_t at = 0;
  for (const char* line : expected) {
    at = texts.find(line, at);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << texts;
  }
  // Open's test pattern is in sector 2, and only there.
  const std::vector<uint8_t> sectors = ReadImageSectors(image_, 0, 4);
  EXPECT_NE(std::count(sectors.begin() + 1024, sectors.begin() + 1536, 0), 512);
  EXPECT_EQ(std::count(sectors.begin(), sectors.begin() + 1024, 0), 1024);
  EXPECT_EQ(std::count(sectors.begin() + 1536, sectors.end(), 0), 512);
}

TEST_F(PortlinkSimModuleTest, BrokenEppFallsBackToTheStandardPort) {
  std::string texts;
  ASSERT_EQ(OpenWith("epp-broken", &texts), 0);
  EXPECT_EQ(CountLines(texts, "checking comms... \n"), 2);
  EXPECT_EQ(CountLines(texts, "testing SRAM... \n"), 1);
  EXPECT_EQ(CountLines(texts, "EPP disabled\n"), 1);
  EXPECT_EQ(CountLines(texts, "EPP enabled\n"), 0);

  const std::vector<uint8_t> data = SectorPattern(10, 1, 5);
  FdCapture err(2);
  ASSERT_EQ(e().WriteSectors(10, 1, data.data()), 0);
  EXPECT_EQ(err.Finish(), "spp write\nWrite...\ndatawrite\ndone\n");
  EXPECT_EQ(ReadImageSectors(image_, 10, 1), data);
}

class PortlinkSimTransferTest : public PortlinkSimModuleTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(PortlinkSimTransferTest, SectorsRoundTripForEveryCount) {
  ASSERT_EQ(OpenWith(GetParam()), 0);
  uint32_t first = 1000;
  for (uint32_t count : {0u, 1u, 16u, 17u, 200u}) {
    SCOPED_TRACE("count " + std::to_string(count));
    const std::vector<uint8_t> data = SectorPattern(first, count, uint8_t(count));
    std::vector<uint8_t> back(data.size() + 512, 0xEE);
    ASSERT_EQ(e().WriteSectors(first, count, data.data()), 0);
    ASSERT_EQ(e().ReadSectors(first, count, back.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    EXPECT_EQ(back[data.size()], 0xEE);  // nothing past the request
    if (count != 0) {
      EXPECT_EQ(ReadImageSectors(image_, first, count), data);
    }
    first += count + 3;
  }
  // Nothing else was written: the sectors just before and after stay zero.
  EXPECT_EQ(ReadImageSectors(image_, 999, 1), std::vector<uint8_t>(512, 0));
}

INSTANTIATE_TEST_SUITE_P(BothWriteModes, PortlinkSimTransferTest,
                         ::testing::Values("", "epp-broken"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param[0] == '\0' ? "Epp" : "StandardPort");
                         });

TEST_F(PortlinkSimModuleTest, SectorNumbersAbove27BitsAreRefused) {
  ASSERT_EQ(OpenWith(nullptr), 0);
  const std::vector<uint8_t> data = SectorPattern(5, 2, 6);
  std::string texts;
  {
    FdCapture err(2);
    // 2^28 + 5 would reach the disk as sector 5 if the high bits were dropped.
    EXPECT_EQ(e().WriteSectors(0x10000005, 1, data.data()), 1);
    EXPECT_EQ(e().WriteSectors(0x0FFFFFFF, 2, data.data()), 1);
    std::vector<uint8_t> back(1024, 0xEE);
    EXPECT_EQ(e().ReadSectors(0xF0000000, 1, back.data()), 1);
    EXPECT_EQ(back[0], 0xEE);
    texts = err.Finish();
  }
  EXPECT_EQ(CountLines(texts, "sectors 268435461+1 lie beyond the disk's 28-bit sector numbers\n"),
            1);
  EXPECT_EQ(ReadImageSectors(image_, 5, 1), std::vector<uint8_t>(512, 0));
  // The link is still in step.
  EXPECT_EQ(e().WriteSectors(5, 1, data.data()), 0);
  EXPECT_EQ(ReadImageSectors(image_, 5, 1), std::vector<uint8_t>(data.begin(), data.begin() + 512));
}

TEST_F(PortlinkSimModuleTest, QueryNumSectorsIsTheImageSize) {
  ASSERT_EQ(OpenWith(nullptr), 0);
  uint32_t sectors = 0;
  EXPECT_EQ(e().QueryNumSectors(&sectors), 0);
  EXPECT_EQ(sectors, kImageSectors);
}

TEST_F(PortlinkSimModuleTest, ReadIrTakesTheReceiversCode) {
  ASSERT_EQ(OpenWith(nullptr), 0);
  testing::WriteTextFile(image_ + ".ir", "4660");  // 0x1234: replies 0x34, then 0x12
  int32_t code = 0;
  e().ReadIR(&code);
  EXPECT_EQ(code, 0x1234);
  e().ReadIR(&code);
  EXPECT_EQ(code, 0);  // the latch was cleared
}

TEST_F(PortlinkSimModuleTest, DebugMsgPrintsBracketedLine) {
  FdCapture out(1);
  const int32_t written = e().DebugMsg("hello");
  EXPECT_EQ(out.Finish(), "[hello]\n");
  EXPECT_EQ(written, 8);
}

TEST_F(PortlinkSimModuleTest, SecondInstanceCannotOpenTheSamePlayer) {
  const std::string copy = dir_.File("second.dld");
  std::filesystem::copy_file(kModulePath, copy);
  std::unique_ptr<DriverModule> second;
  ASSERT_TRUE(DriverModule::Load(copy, &second).ok());
  ASSERT_EQ(OpenWith(nullptr), 0);
  {
    FdCapture err(2);
    EXPECT_EQ(second->entries().Open(), 1);
    EXPECT_NE(err.Finish().find("in use by another program"), std::string::npos);
  }
  EXPECT_EQ(e().Close(), 0);
  EXPECT_EQ(second->entries().Open(), 0);
  EXPECT_EQ(second->entries().Close(), 0);
}

TEST_F(PortlinkSimModuleTest, MissingImageFailsOpen) {
  ScopedEnv env("JUKEPAK_IMAGE", dir_.File("nothing.img").c_str());
  EXPECT_EQ(OpenWith(nullptr), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("nothing.img")));
}

// One fault switch per case: what Open returns, a text it must send, and for
// a failed Open the reason it states whether or not the debug channel is on.
struct OpenFault {
  const char* faults;
  int32_t open_result;
  const char* text;
  const char* reason = nullptr;
};

void PrintTo(const OpenFault& fault, std::ostream* out) { *out << '"' << fault.faults << '"'; }

class PortlinkSimOpenFaultTest : public PortlinkSimModuleTest,
                                 public ::testing::WithParamInterface<OpenFault> {};

TEST_P(PortlinkSimOpenFaultTest, OpenReportsTheFault) {
  std::string texts;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OpenWith(GetParam().faults, &texts), GetParam().open_result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_NE(texts.find(GetParam().text), std::string::npos) << texts;
  if (GetParam().reason != nullptr) {
    EXPECT_NE(
        texts.find(std::string("portlink-sim: could not open the player: ") + GetParam().reason),
        std::string::npos)
        << texts;
  }
  if (GetParam().open_result != 0) {
    std::vector<uint8_t> buffer(512);
    EXPECT_EQ(e().ReadSectors(0, 1, buffer.data()), 1);  // a failed Open leaves it closed
  }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, PortlinkSimOpenFaultTest,
    ::testing::Values(
        OpenFault{"cable-pulled", 1, "handshake timeout: the player does not answer\n",
                  "the cable seems unplugged (no handshake)"},
        OpenFault{"echo-errors", 1, "comms error!\n",
                  "the interface board echoes wrong words (comms test)"},
        OpenFault{"bad-sram=0x1234", 1, "SRAM error!\n",
                  "the interface board's memory is faulty (SRAM test)"},
        OpenFault{"never-ready", 1, "IDE drive timeout!\n",
                  "the player's disk does not become ready"},
        OpenFault{"ready-after-ms=31001", 1, "IDE drive timeout!\n"},
        OpenFault{"ready-after-ms=31000", 0, "waiting for the IDE drive to spin up: 31 s\n"},
        OpenFault{"register-error-at=5", 1, "IDE error!\n",
                  "the player's disk registers read back wrong (pass 4: "},
        OpenFault{"epp-broken", 0, "EPP disabled\n"},
        OpenFault{"epp-timeout-at=1", 0, "EPP timeout misery\n"},
        OpenFault{"epp-late-ack-at=1", 0, "EPP timeout misery\n"},
        OpenFault{"epp-lost-byte-at=1", 0, "EPP timeout misery\n"},
        OpenFault{"busy-reads=5000", 0, "IDE status timeout\n"},
        OpenFault{"cable-puled", 1, "simulator fault \"cable-puled\": unknown switch",
                  "simulator fault \"cable-puled\": unknown switch"}),
    [](const ::testing::TestParamInfo<OpenFault>& info) {
      std::string name = info.param.faults;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(PortlinkSimModuleTest, PulledCableFailsOpenAndEveryLaterCall) {
  std::string texts;
  ASSERT_EQ(OpenWith("cable-pulled", &texts), 1);
  EXPECT_NE(texts.find("handshake timeout: the player does not answer\nerror resetting unit\n"),
            std::string::npos)
      << texts;
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(e().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(e().WriteSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(e().Close(), 0);
}

// Standard output belongs to the program that loaded the module (songlift-cli
// --json prints its document there), so the mismatch goes to standard error.
TEST_F(PortlinkSimModuleTest, RegisterMismatchSaysPassAndValuesOnStandardErrorOnly) {
  std::string out_text, err_text;
  {
    FdCapture out(1);
    ASSERT_EQ(OpenWith("register-error-at=1", &err_text), 1);
    out_text = out.Finish();
  }
  EXPECT_EQ(out_text, "");
  int r = -1, v = -1;
  const size_t at = err_text.find("(pass 0: wrote ");
  ASSERT_NE(at, std::string::npos) << err_text;
  ASSERT_EQ(std::sscanf(err_text.c_str() + at, "(pass 0: wrote %d, read %d)", &r, &v), 2);
  EXPECT_EQ(v, ~r & 0xFF);
  EXPECT_NE(err_text.find("0 " + std::to_string(r) + " " + std::to_string(v) + "\n"),
            std::string::npos)
      << "the debug channel keeps the bare line";
}

TEST_F(PortlinkSimModuleTest, EppTimeoutStopsTheWriteAtTheFailingSector) {
  ASSERT_EQ(OpenWith("epp-timeout-at=4"), 0);  // block 1 is Open's own test
  const std::vector<uint8_t> data = SectorPattern(200, 4, 7);
  std::string texts;
  {
    FdCapture err(2);
    EXPECT_EQ(e().WriteSectors(200, 4, data.data()), 1);
    texts = err.Finish();
  }
  EXPECT_NE(texts.find("EPP timeout misery\n"), std::string::npos);
  EXPECT_EQ(ReadImageSectors(image_, 200, 2),
            std::vector<uint8_t>(data.begin(), data.begin() + 1024));
  EXPECT_EQ(ReadImageSectors(image_, 202, 2), std::vector<uint8_t>(1024, 0));

  // Out of step until the next Open.
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(e().ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(e().Close(), 0);
  ASSERT_EQ(OpenWith(nullptr), 0);
  EXPECT_EQ(e().WriteSectors(202, 2, data.data() + 1024), 0);
  EXPECT_EQ(ReadImageSectors(image_, 200, 4), data);
}

TEST_F(PortlinkSimModuleTest, DiskErrorBitFailsReadsAndWritesOfThatSector) {
  ASSERT_EQ(OpenWith("disk-error-at=300"), 0);
  std::vector<uint8_t> buffer(4 * 512);
  std::string texts;
  {
    FdCapture err(2);
    EXPECT_EQ(e().ReadSectors(300, 1, buffer.data()), 1);
    EXPECT_EQ(e().ReadSectors(298, 4, buffer.data()), 1);
    EXPECT_EQ(e().WriteSectors(300, 1, buffer.data()), 1);
    texts = err.Finish();
  }
  EXPECT_EQ(CountLines(texts, "IDE error bit set\n"), 3);
  EXPECT_EQ(e().ReadSectors(301, 4, buffer.data()), 0);
}

}  // namespace
}  // namespace jukepak
