// LinkLayer: the command-word protocol between Portlink and the player's
// interface board, over any port backend (see port_access.h).
//
// One exchange sends a 16-bit command word, high byte first, and receives one
// 8-bit reply: the board's answer to the word BEFORE, shown as two nibbles on
// status bits 6..3 while the handshake bit (status bit 7) follows the
// strobes. Sector data moves in blocks: nibble-mode reads, handshaked
// standard-port writes and EPP writes.
//
// Every wait ends, and judges its bound only by a poll made after it (see
// deadline.h). A handshake that does not answer within kHandshakeTimeoutMs
// puts the link out of step: the board and the driver no
// longer agree on where they are in the protocol, so from then on every
// operation returns at once without touching the port (replies read as 0)
// until ResetUnit brings the board back. Callers test inStep() after each
// step that may have failed.
//
// Threads: one at a time; the exchange is a strict alternation of edges.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "driver/portlink/deadline.h"
#include "driver/portlink/message_sink.h"
#include "driver/portlink/port_access.h"

namespace jukepak::portlink {

// Why the link is out of step.
enum class LinkFault {
  kNone,
  kHandshakeTimeout,  // the board did not answer a strobe
  kStatusTimeout,     // the disk never reached the state a transfer waited for
  kEppTimeout,        // an EPP block timed out; the disk waits for data mid-command
};

// Link register numbers, as sent in command words 0x03rr and 0x04rr.
namespace link_register {
inline constexpr uint8_t kDeviceControl = 0x0E;  // 6 asserts the disk's reset, 2 releases it
inline constexpr uint8_t kSectorCount = 0x12;
inline constexpr uint8_t kLba0 = 0x13;
inline constexpr uint8_t kLba1 = 0x14;
inline constexpr uint8_t kLba2 = 0x15;
inline constexpr uint8_t kDriveHead = 0x16;  // 0xE0 | LBA bits 24-27
inline constexpr uint8_t kStatusCommand = 0x17;
}  // namespace link_register

inline constexpr uint64_t kHandshakeTimeoutMs = 250;
// What ATA allows a drive after a reset, spinning up included.
inline constexpr uint64_t kDriveReadyTimeoutMs = 31000;
// A handshake normally answers within a few status reads; only a slow one
// starts reading the clock, so the fast path costs no clock reads at all.
inline constexpr uint32_t kHandshakeSpinsBeforeClock = 64;

enum class EppResult { kOk, kTimeout, kLinkFault };

template <PortAccess Port>
class LinkLayer {
 public:
  // The port and the sink must outlive the link layer.
  LinkLayer(Port& port, MessageSink& sink) : port_(port), sink_(sink) {}

  // One command-word exchange; returns the board's answer to the previous
  // word. 0 when the link is (or falls) out of step.
  uint8_t ExchangeWord(uint16_t word) {
    if (!inStep()) return 0;
    uint8_t status = 0;
    port_.Write(PortRegister::kData, uint8_t(word >> 8));
    port_.Write(PortRegister::kControl, 7);
    if (!WaitHandshake(false, &status)) return 0;
    const uint8_t low = Nibble(status);
    port_.Write(PortRegister::kData, uint8_t(word & 0xFF));
    port_.Write(PortRegister::kControl, 5);
    if (!WaitHandshake(true, &status)) return 0;
    return uint8_t(low | (Nibble(status) << 4));
  }

  // A 16-bit link register; the disk's 8-bit registers arrive in the low byte.
  uint16_t ReadRegister(uint8_t reg) {
    ExchangeWord(uint16_t(0x0400 | reg));
    const uint8_t hi = ExchangeWord(0);
    const uint8_t lo = ExchangeWord(0);
    return uint16_t((hi << 8) | lo);
  }

  void WriteRegister(uint8_t reg, uint16_t value) {
    ExchangeWord(uint16_t(0x0300 | reg));
    ExchangeWord(value);
  }

  // Nibble-mode read of `count` bytes (after the 0x0600 word). The nibble of
  // each half is taken from the status read AFTER the one that saw the edge:
  // the board sets the handshake first and the data lines after it.
  void ReadBlock(uint32_t count, uint8_t* buffer) {
    uint8_t status = 0;
    for (uint32_t i = 0; i < count && inStep(); ++i) {
      port_.Write(PortRegister::kControl, 6);
      if (!WaitHandshake(false, &status)) return;
      const uint8_t low = Nibble(port_.Read(PortRegister::kStatus));
      port_.Write(PortRegister::kControl, 4);
      if (!WaitHandshake(true, &status)) return;
      const uint8_t high = Nibble(port_.Read(PortRegister::kStatus));
      buffer[i] = uint8_t(low | (high << 4));
    }
  }

  // Handshaked standard-port write of pairs x 2 bytes (after the 0x0500 word).
  void WriteBlockSpp(uint32_t pairs, const uint8_t* buffer) {
    uint8_t status = 0;
    for (uint32_t i = 0; i < pairs && inStep(); ++i) {
      port_.Write(PortRegister::kData, buffer[2 * i]);
      port_.Write(PortRegister::kControl, 6);
      if (!WaitHandshake(false, &status)) return;
      port_.Write(PortRegister::kData, buffer[2 * i + 1]);
      port_.Write(PortRegister::kControl, 4);
      if (!WaitHandshake(true, &status)) return;
    }
  }

  // One 512-byte sector through the EPP data port. kTimeout when the port
  // reports an EPP timeout (status bit 0) after the block; kLinkFault when a
  // handshake did not answer.
  EppResult WriteBlockEpp(const uint8_t* buffer) {
    ExchangeWord(0x0B00);
    if (!inStep()) return EppResult::kLinkFault;
    port_.Write(PortRegister::kControl, 4);
    port_.Write(PortRegister::kStatus, 0);  // clears a timeout left from before
    for (uint32_t i = 0; i < 512; ++i) port_.Write(PortRegister::kEppData, buffer[i]);
    uint8_t status = 0;
    if (!WaitHandshake(true, &status)) return EppResult::kLinkFault;
    return (status & 0x01) != 0 ? EppResult::kTimeout : EppResult::kOk;
  }

  // Busy wait on the monotonic clock.
  void WaitMs(uint64_t ms) {
    const uint64_t t0 = port_.NowMs();
    while (port_.NowMs() - t0 < ms) {
    }
  }

  // Resets the board and the disk and runs the self tests: comms echo, SRAM
  // (unless skip_sram_test), the disk's reset and ready wait, the register
  // test. Returns 0 with the link in step, or 1 after the failing test's
  // text, with resetFailure() saying why. The register-test failure also
  // sends "%d %d %d\n" (pass, written, read) to the debugger output. Uses
  // rand().
  int32_t ResetUnit(bool skip_sram_test) {
    fault_ = LinkFault::kNone;
    reset_failure_.clear();
    port_.Write(PortRegister::kControl, 0);
    WaitMs(50);
    port_.Write(PortRegister::kControl, 3);
    WaitMs(500);
    port_.Write(PortRegister::kData, 0xAA);
    port_.Write(PortRegister::kControl, 5);
    WaitMs(500);
    for (int i = 0; i < 3; ++i) ExchangeWord(0);  // so that the next reply is 0
    if (!inStep()) return ResetFailed("");
    if (!CheckComms()) return ResetFailed("the interface board echoes wrong words (comms test)");
    if (!skip_sram_test && !TestSram()) {
      return ResetFailed("the interface board's memory is faulty (SRAM test)");
    }
    if (!ResetDisk()) return ResetFailed("the player's disk does not become ready");
    if (!TestRegister()) return ResetFailed(register_mismatch_);
    return 0;
  }

  // The idle state Close leaves behind: control 3, a pause, data 0, control 5.
  void Idle() {
    port_.Write(PortRegister::kControl, 3);
    WaitMs(500);
    port_.Write(PortRegister::kData, 0);
    port_.Write(PortRegister::kControl, 5);
  }

  bool inStep() const { return fault_ == LinkFault::kNone; }
  LinkFault fault() const { return fault_; }
  // Puts the link out of step (the first reason is kept) and says why.
  void MarkOutOfStep(LinkFault why, const char* text) {
    if (fault_ == LinkFault::kNone) fault_ = why;
    sink_.Debug(text);
  }

  Port& port() { return port_; }
  MessageSink& sink() { return sink_; }

  // Why the last ResetUnit failed, in words for the user ("the cable seems
  // unplugged (no handshake)"); empty after one that passed.
  const std::string& resetFailure() const { return reset_failure_; }

 private:
  // Keeps why the reset failed: a test's own reason, unless a handshake
  // went unanswered, which says more about the cause than the test that met it.
  int32_t ResetFailed(std::string reason) {
    reset_failure_ = inStep() ? std::move(reason) : "the cable seems unplugged (no handshake)";
    return 1;
  }

  static uint8_t Nibble(uint8_t status) { return uint8_t((status >> 3) & 0x0F); }

  // Reads the status port until bit 7 equals `high`; *status gets the value
  // that showed it. False, with the link out of step, after the bound.
  bool WaitHandshake(bool high, uint8_t* status) {
    const uint8_t want = high ? 0x80 : 0x00;
    for (uint32_t spin = 0; spin < kHandshakeSpinsBeforeClock; ++spin) {
      *status = port_.Read(PortRegister::kStatus);
      if ((*status & 0x80) == want) return true;
    }
    Deadline<Port> deadline(port_, kHandshakeTimeoutMs);
    for (;;) {
      const bool late = deadline.Passed();
      *status = port_.Read(PortRegister::kStatus);
      if ((*status & 0x80) == want) return true;
      if (late) {
        MarkOutOfStep(LinkFault::kHandshakeTimeout,
                      "handshake timeout: the player does not answer\n");
        return false;
      }
    }
  }

  bool CheckComms() {
    sink_.Debug("checking comms... \n");
    for (uint32_t n = 1; n <= 255; ++n) {
      const uint8_t reply = ExchangeWord(uint16_t(n));
      if (!inStep()) return false;
      if (reply != n - 1) {
        sink_.Debug("comms error!\n");
        return false;
      }
    }
    return true;
  }

  // Each SRAM byte gets the low byte of its own address, then all are read back.
  bool TestSram() {
    sink_.Debug("testing SRAM... \n");
    for (uint32_t a = 0; a <= 0x7FFF && inStep(); ++a) {
      ExchangeWord(uint16_t(0x0100 | (a & 0xFF)));
      ExchangeWord(uint16_t(a));
    }
    for (uint32_t a = 0; a <= 0x7FFF; ++a) {
      ExchangeWord(0x0200);
      ExchangeWord(uint16_t(a));
      const uint8_t v = ExchangeWord(0);
      if (!inStep()) return false;
      if (v != (a & 0xFF)) {
        sink_.Debug("SRAM error!\n");
        return false;
      }
    }
    return true;
  }

  // 100 status reads: a settling delay the disk needs between reset steps.
  void Settle() {
    for (int i = 0; i < 100; ++i) ReadRegister(link_register::kStatusCommand);
  }

  bool ResetDisk() {
    sink_.Debug("resetting IDE... \n");
    Settle();
    WriteRegister(link_register::kDriveHead, 0xE0);
    Settle();
    WriteRegister(link_register::kDeviceControl, 6);
    Settle();
    WriteRegister(link_register::kDeviceControl, 2);
    if (!inStep()) return false;
    return WaitForDriveReady();
  }

  // Polls until the drive is not busy, ready and seek complete, for up to
  // kDriveReadyTimeoutMs; a drive spinning up takes seconds, so each whole
  // second waited is said on the debug channel.
  bool WaitForDriveReady() {
    Deadline<Port> deadline(port_, kDriveReadyTimeoutMs);
    uint64_t seconds_said = 0;
    for (;;) {
      const uint64_t elapsed_ms = deadline.ElapsedMs();
      if (elapsed_ms / 1000 > seconds_said) {
        seconds_said = elapsed_ms / 1000;
        char line[64];
        std::snprintf(line, sizeof line, "waiting for the IDE drive to spin up: %u s\n",
                      unsigned(seconds_said));
        sink_.Debug(line);
      }
      const uint16_t status = ReadRegister(link_register::kStatusCommand);
      if (!inStep()) return false;
      if ((status & 0xF0) == 0x50) return true;
      if (deadline.Passed(elapsed_ms)) {
        sink_.Debug("IDE drive timeout!\n");
        return false;
      }
    }
  }

  bool TestRegister() {
    sink_.Debug("testing IDE register... \n");
    for (int k = 0; k < 256; ++k) {
      const uint8_t r = uint8_t(std::rand() & 0xFF);
      WriteRegister(link_register::kSectorCount, r);
      const uint8_t e = uint8_t(ReadRegister(link_register::kSectorCount) & 0xFF);
      if (!inStep()) return false;
      if (e != r) {
        char line[48];
        std::snprintf(line, sizeof line, "%d %d %d\n", k, int(r), int(e));
        sink_.Debug(line);
        sink_.Debug("IDE error!\n");
        std::snprintf(register_mismatch_, sizeof register_mismatch_,
                      "the player's disk registers read back wrong (pass %d: wrote %d, read %d)", k,
                      int(r), int(e));
        return false;
      }
    }
    return true;
  }

  Port& port_;
  MessageSink& sink_;
  LinkFault fault_ = LinkFault::kNone;
  std::string reset_failure_;
  char register_mismatch_[96] = {};
};

}  // namespace jukepak::portlink
