// DiskAccess: the player's IDE disk through the link, with the ATA task-file
// protocol in 28-bit LBA mode, and the open-time choice between EPP and
// standard-port writes. This is Portlink's behaviour behind the entry points.
//
// Results are 0 for success and 1 for failure, with a text on the debugger
// output. A transfer fails, sending nothing, when its sectors do not all lie
// below 2^28 (the disk would otherwise get the number with its high bits
// dropped and write over the start of the drive) or when the link is out of
// step. It fails after a handshake or status wait runs out (which puts the
// link out of step until Open), on an EPP timeout (likewise: the disk is left
// waiting for data), and when the disk reports its error bit.
//
// No allocation on any path: the two 512-byte buffers are members, and the
// modules keep the object in static storage. Threads: one call at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/portlink/link_layer.h"

namespace jukepak::portlink {

inline constexpr uint32_t kSectorBytes = 512;
inline constexpr uint32_t kSectorsPerCommand = 16;
inline constexpr uint64_t kLbaLimit = uint64_t(1) << 28;  // sectors the disk can address
inline constexpr uint64_t kStatusTimeoutMs = 2000;
// The sector Open overwrites with a test pattern; the volume format keeps it free.
inline constexpr uint32_t kEppTestSector = 2;

namespace ata {
inline constexpr uint8_t kBusy = 0x80;
inline constexpr uint8_t kError = 0x01;
inline constexpr uint8_t kReadSectors = 0x21;
inline constexpr uint8_t kWriteSectors = 0x30;
inline constexpr uint8_t kIdentifyDevice = 0xEC;
}  // namespace ata

// The status waits of the transfer paths, by name. A test may leave one out
// (DiskAccess::TEST_OmitWait) to show that a drive then loses or garbles data.
enum class DiskWait : uint8_t {
  kNone,
  kReadReady,          // before each read command; judges the previous one's error
  kReadDataRequest,    // after each read command, before its first sector
  kReadDone,           // after a read call's last command: settled, error bit
  kWriteReady,         // before each write command; judges the previous one's error
  kWriteDataRequest,   // before each written sector
  kWriteDone,          // after a write call's last command
  kIdentifyReady,      // before IDENTIFY DEVICE
  kIdentifyDataRequest,
};

template <PortAccess Port>
class DiskAccess {
 public:
  // The port and the sink must outlive this object.
  DiskAccess(Port& port, MessageSink& sink) : link_(port, sink) {}

  // Resets the unit with the full self test, then writes a random pattern to
  // sector 2 through EPP and reads it back. On any failure of that test the
  // unit is reset again (without the SRAM test) and writes use the standard
  // port. 0 on success; 1 when a reset fails.
  int32_t Open() {
    Debug("Opening EPP driver\n");
    int32_t rc = link_.ResetUnit(false);
    if (rc != 0) {
      Debug("error resetting unit\n");
      return rc;
    }
    Debug("testing IDE in EPP mode\n");
    epp_enabled_ = true;
    std::srand(unsigned(link_.port().NowMs()));
    for (uint32_t i = 0; i < kSectorBytes; ++i) scratch_[i] = uint8_t(std::rand());
    std::memset(readback_, 0, sizeof readback_);
    int32_t a = WriteSectors(kEppTestSector, 1, scratch_);
    if (a == 0) a = ReadSectors(kEppTestSector, 1, readback_);
    if (a == 0 && std::memcmp(scratch_, readback_, kSectorBytes) != 0) a = 1;
    if (a != 0) {
      rc = link_.ResetUnit(true);
      if (rc != 0) {
        Debug("error resetting unit\n");
        return rc;
      }
      epp_enabled_ = false;
    }
    Debug(epp_enabled_ ? "EPP enabled\n" : "EPP disabled\n");
    return 0;
  }

  // Why the last Open failed, in words for the user; empty after one that passed.
  const std::string& openFailure() const { return link_.resetFailure(); }

  // Leaves the link idle. Always 0.
  int32_t Close() {
    link_.Idle();
    return 0;
  }

  // Reads count sectors from sector s into buffer (count * 512 bytes), in
  // commands of at most 16 sectors, waiting for the data request once per
  // command. Count 0 succeeds with no link traffic.
  int32_t ReadSectors(uint32_t s, uint32_t count, uint8_t* buffer) {
    if (!TransferAllowed(s, count, buffer)) return 1;
    bool first = true;
    while (count != 0) {
      const uint32_t n = count <= kSectorsPerCommand ? count : kSectorsPerCommand;
      // As for writes, only later commands' waits judge the error bit: the
      // previous command's, which a sector failing mid-command leaves.
      if (!WaitUntil(DiskWait::kReadReady, 0xF0, 0x50, !first)) return 1;
      LoadTaskFile(n, s, ata::kReadSectors);
      if (!WaitUntil(DiskWait::kReadDataRequest, 0xF8, 0x58, true)) return 1;
      for (uint32_t i = 0; i < n; ++i) {
        link_.ExchangeWord(0x0600);
        link_.ReadBlock(kSectorBytes, buffer);
        buffer += kSectorBytes;
      }
      if (!link_.inStep()) return 1;
      s += n;
      count -= n;
      first = false;
    }
    // The last command's status counts once the drive has finished it.
    if (!first && !WaitUntil(DiskWait::kReadDone, 0xF0, 0x50, true)) return 1;
    return 0;
  }

  // Writes count sectors from buffer starting at sector s, bracketed by the
  // 0x0A00 and 0x0AA0 words, waiting for the data request before every
  // sector. On an EPP timeout the sectors before the failing one are written
  // and the closing word is not sent.
  int32_t WriteSectors(uint32_t s, uint32_t count, const uint8_t* buffer) {
    if (!TransferAllowed(s, count, buffer)) return 1;
    link_.ExchangeWord(0x0A00);
    bool first = true;
    while (count != 0) {
      const uint32_t n = count <= kSectorsPerCommand ? count : kSectorsPerCommand;
      // The first command's wait ignores an error bit left by an earlier
      // call; later ones report the error of this call's previous command.
      if (!WaitUntil(DiskWait::kWriteReady, 0xF8, 0x50, !first)) return 1;  // ready, idle
      LoadTaskFile(n, s, ata::kWriteSectors);
      const bool sent =
          epp_enabled_ ? WriteCommandDataEpp(n, buffer) : WriteCommandDataSpp(n, buffer);
      if (!sent) return 1;
      buffer += n * kSectorBytes;
      s += n;
      count -= n;
      first = false;
    }
    if (!WaitUntil(DiskWait::kWriteDone, 0xF8, 0x50, !first)) return 1;
    link_.ExchangeWord(0x0AA0);
    return link_.inStep() ? 0 : 1;
  }

  // Stores the disk's LBA28 capacity (IDENTIFY DEVICE words 60-61) in *out.
  int32_t QueryNumSectors(uint32_t* out) {
    if (out == nullptr || !InStepOrSay()) return 1;
    if (!WaitUntil(DiskWait::kIdentifyReady, 0xF0, 0x50, false)) return 1;
    // The drive/head register still holds 0xE0 | bits from the last command.
    link_.WriteRegister(link_register::kStatusCommand, ata::kIdentifyDevice);
    if (!WaitUntil(DiskWait::kIdentifyDataRequest, 0xF8, 0x58, true)) return 1;
    link_.ExchangeWord(0x0600);
    link_.ReadBlock(kSectorBytes, scratch_);
    if (!link_.inStep()) return 1;
    *out = uint32_t(scratch_[120]) | uint32_t(scratch_[121]) << 8 | uint32_t(scratch_[122]) << 16 |
           uint32_t(scratch_[123]) << 24;
    return 0;
  }

  // Stores the receiver's 16-bit code in *code, low byte first from the
  // board. On failure *code is 0 and the result 1.
  int32_t ReadIR(int32_t* code) {
    if (code == nullptr) return 1;
    *code = 0;
    if (!InStepOrSay()) return 1;
    link_.ExchangeWord(0x0800);
    const uint8_t lo = link_.ExchangeWord(0);
    *code = lo;
    const uint8_t hi = link_.ExchangeWord(0);
    if (!link_.inStep()) {
      *code = 0;
      return 1;
    }
    *code = int32_t(lo) + int32_t(hi) * 256;
    return 0;
  }

  bool eppEnabled() const { return epp_enabled_; }
  LinkLayer<Port>& link() { return link_; }

  // Tests only: from now on `wait` passes at once without polling.
  void TEST_OmitWait(DiskWait wait) { omitted_wait_ = wait; }

 private:
  void Debug(const char* text) { link_.sink().Debug(text); }

  bool InStepOrSay() {
    if (link_.inStep()) return true;
    Debug("link out of step; the driver must be opened again\n");
    return false;
  }

  bool TransferAllowed(uint32_t s, uint32_t count, const void* buffer) {
    if (uint64_t(s) + count > kLbaLimit || s >= kLbaLimit) {
      char line[96];
      std::snprintf(line, sizeof line,
                    "sectors %u+%u lie beyond the disk's 28-bit sector numbers\n", s, count);
      Debug(line);
      return false;
    }
    if (count != 0 && buffer == nullptr) return false;
    return InStepOrSay();
  }

  // Polls the disk status until (status & mask) == want, for up to
  // kStatusTimeoutMs. With check_error, a settled status with the error bit
  // set fails at once. Running out of time puts the link out of step.
  bool WaitUntil(DiskWait which, uint8_t mask, uint8_t want, bool check_error) {
    if (which == omitted_wait_) return true;
    Deadline<Port> deadline(link_.port(), kStatusTimeoutMs);
    for (;;) {
      const bool late = deadline.Passed();
      const uint16_t status = link_.ReadRegister(link_register::kStatusCommand);
      if (!link_.inStep()) return false;
      if (check_error && (status & ata::kBusy) == 0 && (status & ata::kError) != 0) {
        Debug("IDE error bit set\n");
        return false;
      }
      if ((status & mask) == want) return true;
      if (late) {
        link_.MarkOutOfStep(LinkFault::kStatusTimeout, "IDE status timeout\n");
        return false;
      }
    }
  }

  void LoadTaskFile(uint32_t n, uint32_t s, uint8_t command) {
    link_.WriteRegister(link_register::kSectorCount, uint16_t(n));
    link_.WriteRegister(link_register::kLba0, uint16_t(s & 0xFF));
    link_.WriteRegister(link_register::kLba1, uint16_t((s >> 8) & 0xFF));
    link_.WriteRegister(link_register::kLba2, uint16_t((s >> 16) & 0xFF));
    link_.WriteRegister(link_register::kDriveHead, uint16_t(((s >> 24) & 0x0F) | 0xE0));
    link_.WriteRegister(link_register::kStatusCommand, command);
  }

  bool WriteCommandDataEpp(uint32_t n, const uint8_t* buffer) {
    for (uint32_t i = 0; i < n; ++i) {
      if (!WaitUntil(DiskWait::kWriteDataRequest, 0xF8, 0x58, true)) return false;
      const EppResult sent = link_.WriteBlockEpp(buffer + i * kSectorBytes);
      if (sent == EppResult::kLinkFault) return false;
      if (sent == EppResult::kTimeout) {
        link_.MarkOutOfStep(LinkFault::kEppTimeout, "EPP timeout misery\n");
        return false;
      }
    }
    return true;
  }

  bool WriteCommandDataSpp(uint32_t n, const uint8_t* buffer) {
    Debug("spp write\n");
    for (uint32_t i = 0; i < n; ++i) {
      if (!WaitUntil(DiskWait::kWriteDataRequest, 0xF8, 0x58, true)) return false;
      Debug("Write...\n");
      link_.ExchangeWord(0x0500);
      Debug("datawrite\n");
      link_.WriteBlockSpp(kSectorBytes / 2, buffer + i * kSectorBytes);
      Debug("done\n");
      if (!link_.inStep()) return false;
    }
    return true;
  }

  LinkLayer<Port> link_;
  bool epp_enabled_ = true;
  DiskWait omitted_wait_ = DiskWait::kNone;
  uint8_t scratch_[kSectorBytes] = {};   // test pattern at Open, IDENTIFY data
  uint8_t readback_[kSectorBytes] = {};  // the test's read-back
};

}  // namespace jukepak::portlink
