// AtaDisk: the register file of an ATA disk in LBA28 mode, as the simulated
// interface board reaches it. It serves READ SECTORS (0x20/0x21), WRITE
// SECTORS (0x30/0x31) and IDENTIFY DEVICE (0xEC, capacity in words 60-61),
// sets DRQ during data phases and ERR with the error register on failures:
// ABRT for an unknown command or CHS addressing, IDNF for sectors past the
// end, UNC for a medium failure or the disk-error-at sector.
//
// It is as strict about BSY and DRQ as a drive: it stays busy for a number of
// status reads (busy-reads) after each command, after each sector it writes
// and after the last sector of a read (which completes the command), and
// after its reset for as long as the faults say. Data moves only while DRQ is
// set and BSY clear: a data word written at another time is lost, a data read
// returns 0xFFFF. While busy, the command block ignores writes and answers
// reads with the status. Between the sectors of one read command DRQ stays
// set (the drive has read them ahead), so one data-request wait per read
// command is enough.
//
// Register numbers are the link's: 0x10..0x17 the command block (0x10 the
// 16-bit data register, 0x11 error/features, 0x12 sector count, 0x13..0x15
// LBA bits 0-23, 0x16 drive/head, 0x17 status/command), 0x08..0x0F the
// control block (0x0E alternate status/device control). The 8-bit registers
// read with their upper 8 lines floating high (0xFF).
#pragma once

#include <cstdint>

#include "driver/sim/disk_medium.h"
#include "driver/sim/sim_faults.h"
#include "driver/sim/virtual_clock.h"

namespace jukepak::sim {

struct AtaCounts {
  uint64_t read_commands = 0;
  uint64_t write_commands = 0;
  uint64_t identify_commands = 0;
  uint64_t other_commands = 0;
  uint64_t sectors_read = 0;     // delivered to the data register
  uint64_t sectors_written = 0;  // stored on the medium
  uint64_t resets = 0;           // releases of the reset bit
  uint64_t count_register_writes = 0;
};

// The task file of the last command, for tests.
struct AtaCommand {
  uint8_t command = 0;
  uint32_t lba = 0;
  uint32_t count = 0;
};

class AtaDisk {
 public:
  // The medium, faults and clock must outlive the disk.
  AtaDisk(DiskMedium& medium, const SimFaults& faults, const VirtualClock& clock);

  uint16_t Read(uint8_t reg);
  void Write(uint8_t reg, uint16_t value);

  const AtaCounts& counts() const { return counts_; }
  const AtaCommand& lastCommand() const { return last_command_; }
  // LBA28 capacity as IDENTIFY reports it.
  uint32_t capacity() const;

 private:
  enum class Phase { kIdle, kReadData, kWriteData };

  bool busy() const;
  bool PollBusy();  // a status read: busy() after consuming one busy read
  bool dataReady() const;  // DRQ set and BSY clear
  uint8_t StatusBits() const;
  uint8_t Status();
  void WriteCommandBlock(uint8_t reg, uint8_t value);
  void SetDeviceControl(uint8_t value);
  void StartCommand(uint8_t command);
  void StartTransfer(uint8_t command, bool write);
  void FillIdentify();
  void Fail(uint8_t error);
  bool LoadSector();
  uint16_t ReadData();
  void WriteData(uint16_t word);

  DiskMedium& medium_;
  const SimFaults& faults_;
  const VirtualClock& clock_;

  uint8_t error_ = 0x01;
  uint8_t features_ = 0;
  uint8_t count_ = 1;
  uint8_t lba_[3] = {1, 0, 0};
  uint8_t drive_head_ = 0;
  bool error_bit_ = false;
  bool in_reset_ = false;
  uint64_t ready_at_ms_ = 0;
  uint32_t busy_reads_left_ = 0;
  uint32_t count_reads_since_reset_ = 0;

  Phase phase_ = Phase::kIdle;
  uint8_t buffer_[512] = {};
  uint32_t word_index_ = 0;
  uint32_t lba_next_ = 0;
  uint32_t sectors_left_ = 0;

  AtaCounts counts_;
  AtaCommand last_command_;
};

}  // namespace jukepak::sim
