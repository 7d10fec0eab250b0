// The ppdev backend behind its system-call table: how it claims and releases
// the port, how register access maps to the device's ioctls, how EPP bytes
// become write() calls and a short write the timeout bit; then Portlink over
// that mapping with the simulated board standing in for the hardware; and
// portlink.dld's own failure paths with real system calls.

#include "driver/portlink/ppdev_port.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver_module.h"
#include "driver/portlink/disk_access.h"
#include "driver/sim/interface_board.h"
#include "driver/tests/driver_test_support.h"

namespace jukepak {
namespace {

using portlink::PortRegister;
using portlink::PpdevPort;
using portlink::PpdevSyscalls;
using testing::FdCapture;
using testing::RecordingSink;
using testing::ScopedEnv;
using testing::SectorPattern;
using testing::TempDir;

[[maybe_unused]] const bool kDebugChannelOn = setenv("JUKEPAK_DEBUG", "1", 1) == 0;

constexpr int kFd = 42;

struct Call {
  std::string name;  // "open", "close", "write" or the ioctl's name
  int value = 0;     // the ioctl's argument, the open flags
  std::vector<uint8_t> bytes;

  bool operator==(const Call& other) const {
    return name == other.name && value == other.value && bytes == other.bytes;
  }
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
  return out << call.name << "(" << call.value << ", " << call.bytes.size() << " bytes)";
}

// A stand-in for the kernel's side: records the calls and, when a board is
// attached, passes register access and EPP data to it the way ppdev and
// parport_pc do.
struct FakeKernel {
  std::vector<Call> calls;
  int open_flags = 0;
  int ppdev_flags = 0;  // PPSETFLAGS
  int open_errno = 0;
  unsigned long fail_request = 0;
  int fail_errno = 0;
  uint8_t status = 0x87;  // bit 0 set, as an idle port may show it
  size_t write_accepts = std::numeric_limits<size_t>::max();
  sim::InterfaceBoard* board = nullptr;
  uint64_t now = 0;
};

FakeKernel* g_kernel = nullptr;

std::string IoctlName(unsigned long request) {
  switch (request) {
    case PPEXCL:
      return "PPEXCL";
    case PPCLAIM:
      return "PPCLAIM";
    case PPRELEASE:
      return "PPRELEASE";
    case PPSETMODE:
      return "PPSETMODE";
    case PPDATADIR:
      return "PPDATADIR";
    case PPWDATA:
      return "PPWDATA";
    case PPWCONTROL:
      return "PPWCONTROL";
    case PPRSTATUS:
      return "PPRSTATUS";
    case PPRDATA:
      return "PPRDATA";
    case PPRCONTROL:
      return "PPRCONTROL";
    case PPSETFLAGS:
      return "PPSETFLAGS";
    default:
      return "ioctl?";
  }
}

int FakeOpen(const char*, int flags) {
  g_kernel->calls.push_back({"open", flags, {}});
  g_kernel->open_flags = flags;
  if (g_kernel->open_errno != 0) {
    errno = g_kernel->open_errno;
    return -1;
  }
  return kFd;
}

int FakeClose(int fd) {
  g_kernel->calls.push_back({"close", fd, {}});
  return 0;
}

int FakeIoctl(int, unsigned long request, void* arg) {
  unsigned char* byte = static_cast<unsigned char*>(arg);
  int value = 0;
  if (request == PPWDATA || request == PPWCONTROL) value = *byte;
  if (request == PPSETMODE || request == PPDATADIR || request == PPSETFLAGS) {
    value = *static_cast<int*>(arg);
  }
  g_kernel->calls.push_back({IoctlName(request), value, {}});
  if (request == g_kernel->fail_request) {
    errno = g_kernel->fail_errno;
    return -1;
  }
  sim::InterfaceBoard* board = g_kernel->board;
  switch (request) {
    case PPSETFLAGS:
      g_kernel->ppdev_flags = value;
      break;
    case PPWDATA:
      if (board != nullptr) board->PortWrite(PortRegister::kData, *byte);
      break;
    case PPWCONTROL:
      if (board != nullptr) board->PortWrite(PortRegister::kControl, *byte);
      break;
    case PPRSTATUS:
      // The kernel has cleared the hardware timeout bit after a failed cycle.
      *byte = board != nullptr ? uint8_t(board->PortRead(PortRegister::kStatus) & ~0x01)
                               : g_kernel->status;
      break;
    case PPRDATA:
      *byte = board != nullptr ? board->PortRead(PortRegister::kData) : 0x5A;
      break;
    case PPRCONTROL:
      *byte = board != nullptr ? board->PortRead(PortRegister::kControl) : 0x05;
      break;
    default:
      break;
  }
  return 0;
}

// True, clearing it, when the board's last EPP cycle timed out (the port's
// status bit 0; the kernel writes the status register to clear it).
bool TakeEppTimeout(sim::InterfaceBoard& board) {
  if (!board.eppTimeoutBit()) return false;
  board.PortWrite(PortRegister::kStatus, 0);
  return true;
}

// parport_pc_epp_write_data: with PARPORT_EPP_FAST and more than one byte,
// the block goes out in one string output and the timeout bit is looked at
// once after it: set, it is cleared and the call fails (-EIO). Otherwise
// byte by byte, the bit looked at after each: at the first timed-out byte it
// is cleared and the bytes before that one are returned.
ssize_t PortEppWriteData(sim::InterfaceBoard& board, const uint8_t* bytes, size_t size,
                         bool fast) {
  if (fast && size > 1) {
    for (size_t i = 0; i < size; ++i) board.PortWrite(PortRegister::kEppData, bytes[i]);
    return TakeEppTimeout(board) ? -EIO : ssize_t(size);
  }
  size_t written = 0;
  for (; written < size; ++written) {
    board.PortWrite(PortRegister::kEppData, bytes[written]);
    if (TakeEppTimeout(board)) break;
  }
  return ssize_t(written);
}

// pp_write in EPP mode: chunks of at most PP_BUFFERSIZE (1024) bytes, each
// through the port's EPP write (fast when PP_FASTWRITE is set), going on from
// where a chunk stopped. A chunk cut short by a timeout is thus retried from
// the timed-out byte; the loop ends when a chunk writes nothing (a retry that
// fails at once) or fails, and the count is short only then. With O_NONBLOCK
// it returns after the first chunk, short or not.
ssize_t FakeWrite(int, const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  g_kernel->calls.push_back({"write", 0, std::vector<uint8_t>(bytes, bytes + size)});
  sim::InterfaceBoard* board = g_kernel->board;
  if (board == nullptr) return ssize_t(std::min(size, g_kernel->write_accepts));
  const bool fast = (g_kernel->ppdev_flags & PP_FASTWRITE) != 0;
  ssize_t bytes_written = 0;
  while (size_t(bytes_written) < size) {
    const size_t n = std::min<size_t>(size - size_t(bytes_written), 1024);
    const ssize_t wrote = PortEppWriteData(*board, bytes + bytes_written, n, fast);
    if (wrote <= 0) {
      if (bytes_written == 0) bytes_written = wrote;
      break;
    }
    bytes_written += wrote;
    if ((g_kernel->open_flags & O_NONBLOCK) != 0) break;
  }
  if (bytes_written < 0) {
    errno = int(-bytes_written);
    return -1;
  }
  return bytes_written;
}

uint64_t FakeNow() {
  return g_kernel->board != nullptr ? g_kernel->board->clock().Read() : ++g_kernel->now;
}

const PpdevSyscalls kFake = {FakeOpen, FakeClose, FakeIoctl, FakeWrite, FakeNow};

class PpdevPortTest : public ::testing::Test {
 protected:
  void SetUp() override { g_kernel = &kernel_; }
  void TearDown() override { g_kernel = nullptr; }

  std::unique_ptr<PpdevPort> Claim() {
    std::unique_ptr<PpdevPort> port;
    const Result claimed = PpdevPort::Claim("/dev/parport7", kFake, &port);
    EXPECT_TRUE(claimed.ok()) << claimed.message();
    kernel_.calls.clear();
    return port;
  }

  FakeKernel kernel_;
};

TEST_F(PpdevPortTest, ClaimRegistersExclusivelyAndReleaseUndoesIt) {
  std::unique_ptr<PpdevPort> port;
  ASSERT_TRUE(PpdevPort::Claim("/dev/parport7", kFake, &port).ok());
  EXPECT_EQ(kernel_.calls, (std::vector<Call>{{"open", O_RDWR | O_CLOEXEC | O_NONBLOCK, {}},
                                              {"PPEXCL", 0, {}},
                                              {"PPCLAIM", 0, {}},
                                              {"PPDATADIR", 0, {}},
                                              {"PPSETMODE", IEEE1284_MODE_EPP, {}},
                                              {"PPSETFLAGS", PP_FASTWRITE, {}}}));
  kernel_.calls.clear();
  port.reset();
  EXPECT_EQ(kernel_.calls, (std::vector<Call>{{"PPRELEASE", 0, {}}, {"close", kFd, {}}}));
}

TEST_F(PpdevPortTest, FailedClaimSaysWhyAndLeavesNothingOpen) {
  std::unique_ptr<PpdevPort> port;
  kernel_.open_errno = ENOENT;
  Result claimed = PpdevPort::Claim("/dev/parport7", kFake, &port);
  EXPECT_EQ(claimed.code(), ResultCode::kNotFound);
  EXPECT_EQ(kernel_.calls.size(), 1u);

  kernel_ = FakeKernel();
  kernel_.fail_request = PPCLAIM;
  kernel_.fail_errno = EBUSY;
  claimed = PpdevPort::Claim("/dev/parport7", kFake, &port);
  EXPECT_EQ(claimed.code(), ResultCode::kBusy);
  EXPECT_NE(claimed.message().find("cannot claim /dev/parport7"), std::string::npos);
  EXPECT_EQ(kernel_.calls.back(), (Call{"close", kFd, {}}));
  EXPECT_EQ(port, nullptr);
}

TEST_F(PpdevPortTest, RegisterAccessMapsToTheIoctls) {
  std::unique_ptr<PpdevPort> port = Claim();
  port->Write(PortRegister::kData, 0x12);
  port->Write(PortRegister::kControl, 7);
  EXPECT_EQ(port->Read(PortRegister::kStatus), 0x86);  // bit 0 is the EPP latch, clear
  EXPECT_EQ(port->Read(PortRegister::kData), 0x5A);
  EXPECT_EQ(port->Read(PortRegister::kControl), 0x05);
  port->Write(PortRegister::kStatus, 0);  // no ioctl can write it
  EXPECT_EQ(kernel_.calls, (std::vector<Call>{{"PPWDATA", 0x12, {}},
                                              {"PPWCONTROL", 7, {}},
                                              {"PPRSTATUS", 0, {}},
                                              {"PPRDATA", 0, {}},
                                              {"PPRCONTROL", 0, {}}}));
}

TEST_F(PpdevPortTest, EppBytesLeaveInOneWriteBeforeTheNextRegisterAccess) {
  std::unique_ptr<PpdevPort> port = Claim();
  for (uint8_t b : {1, 2, 3}) port->Write(PortRegister::kEppData, b);
  EXPECT_TRUE(kernel_.calls.empty());
  port->Read(PortRegister::kStatus);
  EXPECT_EQ(kernel_.calls, (std::vector<Call>{{"write", 0, {1, 2, 3}}, {"PPRSTATUS", 0, {}}}));

  kernel_.calls.clear();
  const std::vector<uint8_t> sector = SectorPattern(0, 1, 9);
  for (uint8_t b : sector) port->Write(PortRegister::kEppData, b);
  EXPECT_EQ(kernel_.calls, (std::vector<Call>{{"write", 0, sector}}));
}

TEST_F(PpdevPortTest, ShortEppWriteShowsAsTimeoutBitUntilAStatusWrite) {
  std::unique_ptr<PpdevPort> port = Claim();
  kernel_.write_accepts = 100;
  for (int i = 0; i < 512; ++i) port->Write(PortRegister::kEppData, uint8_t(i));
  EXPECT_EQ(port->Read(PortRegister::kStatus) & 0x01, 0x01);
  EXPECT_EQ(port->Read(PortRegister::kStatus) & 0x01, 0x01);
  port->Write(PortRegister::kStatus, 0);
  EXPECT_EQ(port->Read(PortRegister::kStatus) & 0x01, 0x00);
}

TEST_F(PpdevPortTest, PortlinkRunsOverTheMappingAgainstTheBoard) {
  sim::SimFaults faults;
  sim::InterfaceBoard board(std::make_unique<sim::MemoryMedium>(1024), faults);
  kernel_.board = &board;
  std::unique_ptr<PpdevPort> port = Claim();
  RecordingSink sink;
  portlink::DiskAccess<PpdevPort> disk(*port, sink);
  ASSERT_EQ(disk.Open(), 0);
  EXPECT_TRUE(disk.eppEnabled());

  const std::vector<uint8_t> data = SectorPattern(40, 17, 1);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(disk.WriteSectors(40, 17, data.data()), 0);
  ASSERT_EQ(disk.ReadSectors(40, 17, back.data()), 0);
  EXPECT_EQ(back, data);
  uint32_t sectors = 0;
  EXPECT_EQ(disk.QueryNumSectors(&sectors), 0);
  EXPECT_EQ(sectors, 1024u);

  // A timed-out EPP cycle reaches the driver only through the latch.
  board.faults().epp_timeout_at = board.eppBlocks() + 2;
  EXPECT_EQ(disk.WriteSectors(100, 3, data.data()), 1);
  EXPECT_EQ(sink.debug.back(), "EPP timeout misery\n");
}

// A one-off EPP timeout in the middle of a sector, whether the board took
// the byte or not: the write fails, and no byte reaches the board twice (a
// retry from the timed-out byte would shift the rest of the sector), so the
// sector holds its old bytes or its new ones. After Open the write goes through.
TEST_F(PpdevPortTest, OneOffEppTimeoutFailsTheWriteAndSendsNoByteTwice) {
  for (bool late_ack : {true, false}) {
    SCOPED_TRACE(late_ack ? "late acknowledge" : "lost byte");
    kernel_ = FakeKernel();
    auto medium = std::make_unique<sim::MemoryMedium>(1024);
    sim::MemoryMedium* stored = medium.get();
    sim::InterfaceBoard board(std::move(medium), sim::SimFaults());
    kernel_.board = &board;
    std::unique_ptr<PpdevPort> port = Claim();
    RecordingSink sink;
    portlink::DiskAccess<PpdevPort> disk(*port, sink);
    ASSERT_EQ(disk.Open(), 0);
    sim::SimFaults& faults = board.faults();
    (late_ack ? faults.epp_late_ack_at : faults.epp_lost_byte_at) = board.eppBlocks() + 2;

    const std::vector<uint8_t> data = SectorPattern(100, 3, 2);
    EXPECT_EQ(disk.WriteSectors(100, 3, data.data()), 1);
    EXPECT_EQ(sink.debug.back(), "EPP timeout misery\n");
    EXPECT_EQ(port->failedCalls(), 0u);  // a timeout, not a failed system call
    const std::vector<uint8_t> second(stored->sector(101), stored->sector(101) + 512);
    EXPECT_TRUE(second == std::vector<uint8_t>(512, 0) ||
                std::equal(second.begin(), second.end(), data.begin() + 512));

    ASSERT_EQ(disk.Open(), 0);
    EXPECT_EQ(disk.WriteSectors(100, 3, data.data()), 0);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), stored->sector(100)));
  }
}

TEST(PpdevDeviceTest, DevicePathComesFromTheEnvironment) {
  {
    ScopedEnv env("JUKEPAK_PARPORT", "/dev/parport3");
    EXPECT_EQ(portlink::PpdevDevicePath(), "/dev/parport3");
  }
  ScopedEnv env("JUKEPAK_PARPORT", nullptr);
  EXPECT_EQ(portlink::PpdevDevicePath(), "/dev/parport0");
}

TEST(PortlinkModuleTest, ReportsValidityAndFailsOpenWithoutAPort) {
  std::unique_ptr<DriverModule> module;
  ASSERT_TRUE(DriverModule::Load(std::string(JUKEPAK_BIN_DIR) + "/portlink.dld", &module).ok());
  ASSERT_TRUE(module->FirstMissingEntry().empty());
  const DriverEntryPoints& e = module->entries();
  EXPECT_STREQ(e.GetDisplayName(), "Parallel Port");

  TempDir dir;
  {
    ScopedEnv env("JUKEPAK_PARPORT", dir.File("no-such-port").c_str());
    EXPECT_EQ(e.QueryValidity(), 0);
    EXPECT_EQ(e.Open(), 1);
  }
  // A file that opens but is no parallel port: valid to look at, but the
  // claim's ioctls fail and so does Open, at once.
  const std::string not_a_port = dir.File("plain-file");
  testing::WriteTextFile(not_a_port, "");
  ScopedEnv env("JUKEPAK_PARPORT", not_a_port.c_str());
  EXPECT_NE(e.QueryValidity(), 0);
  FdCapture err(2);
  EXPECT_EQ(e.Open(), 1);
  EXPECT_NE(err.Finish().find("portlink: could not open the player: cannot claim " + not_a_port),
            std::string::npos);
  std::vector<uint8_t> buffer(512);
  EXPECT_EQ(e.ReadSectors(0, 1, buffer.data()), 1);
  EXPECT_EQ(e.Close(), 0);
}

}  // namespace
}  // namespace jukepak
