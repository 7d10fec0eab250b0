// InterfaceBoard: a model of the player's interface board as the parallel
// port sees it, driven by port writes and reads alone.
//
// Control values carry the protocol: bit 2 clear (0, 3) holds the board in
// reset; bit 0 set marks a command exchange, clear a data block; bit 1 tells
// the first half (7, 6) from the second (5, 4). The board acts on changes of
// the control value. A command word is the data byte latched on 7 (high)
// and on the following 5 (low); the board shows its answer to the PREVIOUS
// word on status bits 6..3, low nibble with handshake 0 during the first
// half, high nibble with handshake 1 during the second. Words without an
// answer of their own are answered with their low byte, which is what makes
// 0x00nn an echo.
//
// Commands: 0x00 echo, 0x01/0x02 SRAM store/fetch (a 15-bit address word
// follows), 0x03/0x04 disk register write/read (a value word follows the
// write; a read answers high byte then low byte), 0x05 a standard-port
// sector (256 pairs, byte 2i the low byte of data word i), 0x06 a nibble-mode
// sector read (same byte order), 0x08 the remote code (low byte, then high),
// 0x0A write-call brackets, 0x0B an EPP sector (512 bytes through the EPP data
// port). During a block read the handshake edge comes first and the nibble
// one status read later, so a reader must read the status again after the
// edge. A command word abandons any block left unfinished.
//
// The board counts every port operation and every command word by code.
// Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "driver/portlink/port_access.h"
#include "driver/sim/ata_disk.h"
#include "driver/sim/disk_medium.h"
#include "driver/sim/sim_faults.h"
#include "driver/sim/virtual_clock.h"

namespace jukepak::sim {

struct PortOpCounts {
  uint64_t data_writes = 0;
  uint64_t control_writes = 0;
  uint64_t status_writes = 0;
  uint64_t epp_data_writes = 0;
  uint64_t status_reads = 0;
  uint64_t other_reads = 0;  // data, control and EPP data reads

  uint64_t total() const {
    return data_writes + control_writes + status_writes + epp_data_writes + status_reads +
           other_reads;
  }
};

class InterfaceBoard {
 public:
  // What a pulled cable shows: the status lines float (handshake bit 0).
  static constexpr uint8_t kPulledCableStatus = 0x7F;

  InterfaceBoard(std::unique_ptr<DiskMedium> medium, const SimFaults& faults);

  // The port side.
  void PortWrite(portlink::PortRegister reg, uint8_t value);
  uint8_t PortRead(portlink::PortRegister reg);

  VirtualClock& clock() { return clock_; }
  AtaDisk& disk() { return disk_; }
  DiskMedium& medium() { return *medium_; }
  // Tests may change the faults between calls (pull the cable after Open).
  SimFaults& faults() { return faults_; }

  // The remote-control receiver: called once per 0x0800 word for the code
  // latched now. Without a source the code is 0.
  void SetRemoteSource(std::function<uint16_t()> source) { remote_ = std::move(source); }

  const PortOpCounts& portOps() const { return ops_; }
  void ClearPortOps() { ops_ = PortOpCounts(); }
  // Command words received with the given code (high byte); the address and
  // value words that follow 0x01, 0x02 and 0x03 are not counted.
  uint64_t wordsWithCode(uint8_t code) const { return words_by_code_[code]; }
  // When set, every word received (command, address or value) is appended to *log.
  void set_word_log(std::vector<uint16_t>* log) { word_log_ = log; }
  uint8_t sramByte(uint16_t address) const { return sram_[address & 0x7FFF]; }
  // The PC port's EPP timeout bit (status bit 0), without a port read.
  bool eppTimeoutBit() const { return epp_timeout_; }
  // EPP sector blocks begun (0x0B00 words) since the board was made.
  uint32_t eppBlocks() const { return epp_blocks_; }

 private:
  enum class Expect { kCommand, kStoreAddress, kFetchAddress, kRegisterValue };
  enum class Block { kNone, kRead, kSppWrite, kEppWrite };
  enum class EppGlitch { kNone, kLateAck, kLostByte };  // a one-off cycle timeout

  // Sets cable_pulled once the port operations reach cable_pulled_after_ops.
  void PullCableWhenDue();
  void OnControl(uint8_t value);
  void OnCommandHalf(bool first);
  void OnDataHalf(bool first);
  void OnEppByte(uint8_t value);
  void OnWord(uint16_t word);
  uint8_t Command(uint16_t word);
  void HoldInReset();
  void Show(bool handshake, uint8_t nibble);
  void ShowAfterEdge(bool handshake, uint8_t nibble);
  uint8_t SramRead(uint16_t address) const;
  void FetchSector();
  void DeliverSector();

  SimFaults faults_;
  std::unique_ptr<DiskMedium> medium_;
  VirtualClock clock_;
  AtaDisk disk_;
  std::function<uint16_t()> remote_;

  // The PC port's own registers.
  uint8_t data_ = 0;
  uint8_t control_ = 0;
  bool epp_timeout_ = false;

  // Status lines 7..3 as the board drives them; during a block read the
  // nibble settles one read after the edge.
  uint8_t lines_ = 0;
  uint8_t settled_lines_ = 0;
  bool settling_ = false;

  uint8_t word_high_ = 0;
  bool have_high_ = false;
  uint8_t reply_ = 0xFF;
  std::optional<uint8_t> second_reply_;
  Expect expect_ = Expect::kCommand;
  uint8_t pending_ = 0;

  Block block_ = Block::kNone;
  uint8_t block_bytes_[512] = {};
  uint32_t block_index_ = 0;
  bool block_times_out_ = false;
  EppGlitch glitch_ = EppGlitch::kNone;
  uint32_t epp_blocks_ = 0;

  std::array<uint8_t, 0x8000> sram_{};
  PortOpCounts ops_;
  std::array<uint64_t, 256> words_by_code_{};
  std::vector<uint16_t>* word_log_ = nullptr;
};

}  // namespace jukepak::sim
