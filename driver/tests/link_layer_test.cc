// The link layer against the simulated interface board, with no module in
// between: exchanges, register access, the reset's self tests and its
// bounded waits.

#include "driver/portlink/link_layer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "driver/sim/interface_board.h"
#include "driver/sim/sim_port.h"
#include "driver/tests/driver_test_support.h"

namespace jukepak {
namespace {

using portlink::LinkFault;
using portlink::LinkLayer;
using sim::InterfaceBoard;
using sim::MemoryMedium;
using sim::SimFaults;
using sim::SimPort;
using testing::RecordingSink;

class LinkLayerTest : public ::testing::Test {
 protected:
  void MakeBoard(const SimFaults& faults) {
    port_ = std::make_unique<SimPort>(
        std::make_unique<InterfaceBoard>(std::make_unique<MemoryMedium>(64), faults));
    link_ = std::make_unique<LinkLayer<SimPort>>(*port_, sink_);
  }
  void SetUp() override { MakeBoard(SimFaults()); }

  InterfaceBoard& board() { return port_->board(); }
  LinkLayer<SimPort>& link() { return *link_; }

  RecordingSink sink_;
  std::unique_ptr<SimPort> port_;
  std::unique_ptr<LinkLayer<SimPort>> link_;
};

TEST_F(LinkLayerTest, EchoRepliesTrailOneWordBehindAfterThreeFillers) {
  for (int i = 0; i < 3; ++i) link().ExchangeWord(0);
  for (uint32_t n = 1; n <= 255; ++n) {
    ASSERT_EQ(link().ExchangeWord(uint16_t(n)), n - 1) << "echo of " << n;
  }
  EXPECT_TRUE(link().inStep());
  // Each exchange is two data writes, two control writes and, on a board that
  // answers at once, two status reads.
  EXPECT_EQ(board().portOps().total(), 258u * 6);
}

TEST_F(LinkLayerTest, ReadRegisterAssemblesHighThenLowByte) {
  ASSERT_EQ(link().ResetUnit(true), 0);
  // An 8-bit disk register arrives in the low byte; the upper lines float.
  const uint16_t status = link().ReadRegister(portlink::link_register::kStatusCommand);
  EXPECT_EQ(status & 0xFF, 0x50);
  link().WriteRegister(portlink::link_register::kSectorCount, 0xA5);
  EXPECT_EQ(link().ReadRegister(portlink::link_register::kSectorCount) & 0xFF, 0xA5);

  // The 16-bit data register shows the order: IDENTIFY word 0 is 0x0040 and
  // word 49 has bit 9 (LBA) set.
  link().WriteRegister(portlink::link_register::kStatusCommand, 0xEC);
  while ((link().ReadRegister(portlink::link_register::kStatusCommand) & 0x88) != 0x08) {
  }
  EXPECT_EQ(link().ReadRegister(0x10), 0x0040);
  for (int word = 1; word < 49; ++word) link().ReadRegister(0x10);
  EXPECT_EQ(link().ReadRegister(0x10), 0x0200);
}

TEST_F(LinkLayerTest, ReadIrWordIsAnsweredLowByteFirst) {
  board().SetRemoteSource([] { return uint16_t(0x1234); });
  link().ExchangeWord(0x0800);
  EXPECT_EQ(link().ExchangeWord(0), 0x34);
  EXPECT_EQ(link().ExchangeWord(0), 0x12);
}

TEST_F(LinkLayerTest, FullResetTestsEverySramByteAndSaysEachStep) {
  ASSERT_EQ(link().ResetUnit(false), 0);
  EXPECT_EQ(board().wordsWithCode(0x01), 0x8000u);
  EXPECT_EQ(board().wordsWithCode(0x02), 0x8000u);
  EXPECT_EQ(board().sramByte(0x1234), 0x34);
  EXPECT_EQ(sink_.debug,
            (std::vector<std::string>{"checking comms... \n", "testing SRAM... \n",
                                      "resetting IDE... \n", "testing IDE register... \n"}));
  EXPECT_EQ(board().disk().counts().resets, 1u);
}

TEST_F(LinkLayerTest, ResetWithSkipSendsNoSramTraffic) {
  SimFaults faults;
  faults.bad_sram_address = 0x0100;  // would fail the SRAM test if it ran
  MakeBoard(faults);
  ASSERT_EQ(link().ResetUnit(true), 0);
  EXPECT_EQ(board().wordsWithCode(0x01), 0u);
  EXPECT_EQ(board().wordsWithCode(0x02), 0u);
  EXPECT_FALSE(sink_.Said("testing SRAM... \n"));
}

TEST_F(LinkLayerTest, BadSramByteFailsTheFullReset) {
  SimFaults faults;
  faults.bad_sram_address = 0x7FFF;  // the very last byte
  MakeBoard(faults);
  EXPECT_EQ(link().ResetUnit(false), 1);
  EXPECT_EQ(sink_.debug.back(), "SRAM error!\n");
  EXPECT_EQ(board().disk().counts().resets, 0u);  // stopped before the disk
}

TEST_F(LinkLayerTest, EchoErrorFailsTheCommsCheck) {
  SimFaults faults;
  faults.echo_errors = true;
  MakeBoard(faults);
  EXPECT_EQ(link().ResetUnit(false), 1);
  EXPECT_EQ(sink_.debug.back(), "comms error!\n");
  EXPECT_EQ(board().wordsWithCode(0x01), 0u);
}

TEST_F(LinkLayerTest, RegisterTestRunsExactly256Passes) {
  ASSERT_EQ(link().ResetUnit(true), 0);
  EXPECT_EQ(board().disk().counts().count_register_writes, 256u);
  EXPECT_EQ(link().resetFailure(), "");

  // A mismatch in the last pass is still caught, so the test did 256 passes.
  SimFaults faults;
  faults.register_error_at = 256;
  MakeBoard(faults);
  EXPECT_EQ(link().ResetUnit(true), 1);
  EXPECT_NE(link().resetFailure().find("(pass 255: "), std::string::npos) << link().resetFailure();
}

TEST_F(LinkLayerTest, FirstPassMismatchSaysPassWrittenAndReadValues) {
  SimFaults faults;
  faults.register_error_at = 1;
  MakeBoard(faults);
  std::srand(77);
  const int expected_r = std::rand() & 0xFF;
  std::srand(77);
  ASSERT_EQ(link().ResetUnit(true), 1);
  const std::string written = std::to_string(expected_r);
  const std::string read = std::to_string(~expected_r & 0xFF);
  EXPECT_TRUE(sink_.Said("0 " + written + " " + read + "\n"));
  EXPECT_EQ(sink_.debug.back(), "IDE error!\n");
  EXPECT_EQ(link().resetFailure(), "the player's disk registers read back wrong (pass 0: wrote " +
                                       written + ", read " + read + ")");
}

TEST_F(LinkLayerTest, DriveGetsTheSpinUpAllowanceAndSaysHowLongItWaits) {
  SimFaults faults;
  faults.ready_after_ms = portlink::kDriveReadyTimeoutMs;  // ready at the very deadline
  MakeBoard(faults);
  EXPECT_EQ(link().ResetUnit(true), 0);
  EXPECT_TRUE(sink_.Said("waiting for the IDE drive to spin up: 1 s\n"));
  EXPECT_TRUE(sink_.Said("waiting for the IDE drive to spin up: 31 s\n"));

  faults.ready_after_ms = portlink::kDriveReadyTimeoutMs + 1;
  MakeBoard(faults);
  sink_.debug.clear();
  EXPECT_EQ(link().ResetUnit(true), 1);
  EXPECT_EQ(sink_.debug.back(), "IDE drive timeout!\n");
  EXPECT_TRUE(link().inStep());  // a slow drive is not a broken link
}

TEST_F(LinkLayerTest, DriveThatNeverGetsReadyFailsWithinTheBound) {
  SimFaults faults;
  faults.never_ready = true;
  MakeBoard(faults);
  EXPECT_EQ(link().ResetUnit(true), 1);
  EXPECT_EQ(sink_.debug.back(), "IDE drive timeout!\n");
  // 50 + 500 + 500 ms of settling, then the 31 s wait: virtual time only.
  EXPECT_LT(board().clock().shown(), 32100u);
  EXPECT_GE(board().clock().shown(), 32050u);
}

TEST_F(LinkLayerTest, ReadyWaitPollsOnceMoreAfterTheProcessWasDescheduled) {
  SimFaults faults;
  faults.ready_after_ms = 500;
  MakeBoard(faults);
  // Descheduled past the bound just after the wait began; the drive got ready meanwhile.
  testing::DescheduledPort late(*port_, 40000, [this] { return board().disk().counts().resets != 0; });
  LinkLayer<testing::DescheduledPort> link(late, sink_);
  EXPECT_EQ(link.ResetUnit(true), 0);
  EXPECT_FALSE(sink_.Said("IDE drive timeout!\n"));
}

// A board that answers each strobe, but only once the process waiting for it
// has been descheduled past the handshake bound (at its second clock reading).
class AnswersWhileDescheduledPort final {
 public:
  void Write(portlink::PortRegister reg, uint8_t value) {
    if (reg == portlink::PortRegister::kControl) control_ = value;
  }
  uint8_t Read(portlink::PortRegister) {
    if (resumed_) high_ = (control_ & 0x02) == 0;  // the handshake follows the strobe
    return high_ ? 0x80 : 0x00;
  }
  uint64_t NowMs() {
    if (++readings_ == 2) {
      now_ += 1000;
      resumed_ = true;
    }
    return now_++;
  }

 private:
  uint8_t control_ = 0;
  bool high_ = true;
  bool resumed_ = false;
  int readings_ = 0;
  uint64_t now_ = 0;
};

TEST(LinkLayerHandshakeTest, HandshakePollsOnceMoreAfterTheProcessWasDescheduled) {
  AnswersWhileDescheduledPort port;
  RecordingSink sink;
  LinkLayer<AnswersWhileDescheduledPort> link(port, sink);
  link.ExchangeWord(0x1234);
  EXPECT_TRUE(link.inStep());
  EXPECT_TRUE(sink.debug.empty());
}

TEST_F(LinkLayerTest, PulledCableTimesOutAndThenSendsNothing) {
  SimFaults faults;
  faults.cable_pulled = true;
  MakeBoard(faults);
  EXPECT_EQ(link().ResetUnit(false), 1);
  EXPECT_EQ(link().fault(), LinkFault::kHandshakeTimeout);
  EXPECT_TRUE(sink_.Said("handshake timeout: the player does not answer\n"));
  EXPECT_EQ(link().resetFailure(), "the cable seems unplugged (no handshake)");
  EXPECT_LT(board().clock().shown(), 1050u + 2 * portlink::kHandshakeTimeoutMs);

  const uint64_t ops = board().portOps().total();
  EXPECT_EQ(link().ExchangeWord(0x0001), 0);
  uint8_t buffer[512];
  link().ReadBlock(512, buffer);
  EXPECT_EQ(board().portOps().total(), ops);
}

TEST_F(LinkLayerTest, ResetBringsAnOutOfStepLinkBack) {
  link().MarkOutOfStep(LinkFault::kStatusTimeout, "test\n");
  ASSERT_FALSE(link().inStep());
  EXPECT_EQ(link().ResetUnit(true), 0);
  EXPECT_TRUE(link().inStep());
}

TEST_F(LinkLayerTest, WaitsAndIdleUseTheClockAndLeaveControlAtFive) {
  const uint64_t before = board().clock().next();
  link().WaitMs(500);
  EXPECT_EQ(board().clock().shown() - before, 500u);
  link().Idle();
  EXPECT_EQ(port_->Read(portlink::PortRegister::kControl), 5);
  EXPECT_EQ(port_->Read(portlink::PortRegister::kData), 0);
}

}  // namespace
}  // namespace jukepak
