#include "driver/sim/ata_disk.h"

#include <algorithm>
#include <cstring>

namespace jukepak::sim {
namespace {

constexpr uint8_t kBsy = 0x80;
constexpr uint8_t kDrdy = 0x40;
constexpr uint8_t kDsc = 0x10;
constexpr uint8_t kDrq = 0x08;
constexpr uint8_t kErr = 0x01;

constexpr uint8_t kErrorUnc = 0x40;
constexpr uint8_t kErrorIdnf = 0x10;
constexpr uint8_t kErrorAbrt = 0x04;

constexpr uint8_t kLbaMode = 0x40;  // drive/head bit 6
constexpr uint8_t kSrst = 0x04;     // device control bit 2

constexpr uint16_t kFloatingHigh = 0xFF00;
constexpr uint32_t kLba28Max = 0x0FFFFFFF;

// ATA strings: two characters per word, the first in the high byte, padded
// with spaces.
void PutString(uint8_t* identify, int first_word, int words, const char* text) {
  const size_t length = std::strlen(text);
  for (int i = 0; i < words * 2; ++i) {
    const char c = size_t(i) < length ? text[i] : ' ';
    identify[(first_word * 2) + (i ^ 1)] = uint8_t(c);
  }
}

void PutWord(uint8_t* identify, int word, uint16_t value) {
  identify[2 * word] = uint8_t(value & 0xFF);
  identify[2 * word + 1] = uint8_t(value >> 8);
}

}  // namespace

AtaDisk::AtaDisk(DiskMedium& medium, const SimFaults& faults, const VirtualClock& clock)
    : medium_(medium), faults_(faults), clock_(clock) {}

uint32_t AtaDisk::capacity() const { return std::min<uint32_t>(medium_.sectorCount(), kLba28Max); }

bool AtaDisk::busy() const {
  return in_reset_ || faults_.never_ready || clock_.shown() < ready_at_ms_ || busy_reads_left_ > 0;
}

bool AtaDisk::PollBusy() {
  if (in_reset_ || faults_.never_ready || clock_.shown() < ready_at_ms_) return true;
  if (busy_reads_left_ == 0) return false;
  --busy_reads_left_;
  return true;
}

bool AtaDisk::dataReady() const { return phase_ != Phase::kIdle && !busy(); }

uint8_t AtaDisk::StatusBits() const {
  uint8_t status = kDrdy | kDsc;
  if (phase_ != Phase::kIdle) status |= kDrq;
  if (error_bit_) status |= kErr;
  return status;
}

uint8_t AtaDisk::Status() { return PollBusy() ? kBsy : StatusBits(); }

uint16_t AtaDisk::Read(uint8_t reg) {
  // A busy drive answers every command-block register with its status.
  if (reg >= 0x10 && reg <= 0x16 && busy()) return kFloatingHigh | kBsy;
  switch (reg) {
    case 0x10:
      return ReadData();
    case 0x11:
      return kFloatingHigh | error_;
    case 0x12:
      if (faults_.register_error_at != 0 &&
          ++count_reads_since_reset_ == faults_.register_error_at) {
        return kFloatingHigh | uint8_t(~count_);
      }
      return kFloatingHigh | count_;
    case 0x13:
    case 0x14:
    case 0x15:
      return kFloatingHigh | lba_[reg - 0x13];
    case 0x16:
      return kFloatingHigh | drive_head_;
    case 0x17:
    case 0x0E:
      return kFloatingHigh | Status();
    default:
      return 0xFFFF;  // nothing answers there
  }
}

void AtaDisk::Write(uint8_t reg, uint16_t value) {
  if (reg == 0x0E) {
    SetDeviceControl(uint8_t(value));
    return;
  }
  if (reg == 0x10) {
    WriteData(value);
    return;
  }
  if (reg < 0x11 || reg > 0x17) return;
  if (busy()) return;  // a busy drive ignores the command block
  WriteCommandBlock(reg, uint8_t(value));
}

void AtaDisk::WriteCommandBlock(uint8_t reg, uint8_t value) {
  switch (reg) {
    case 0x11:
      features_ = value;
      break;
    case 0x12:
      count_ = value;
      ++counts_.count_register_writes;
      break;
    case 0x13:
    case 0x14:
    case 0x15:
      lba_[reg - 0x13] = value;
      break;
    case 0x16:
      drive_head_ = value;
      break;
    case 0x17:
      StartCommand(value);
      break;
    default:
      break;
  }
}

void AtaDisk::SetDeviceControl(uint8_t value) {
  const bool reset = (value & kSrst) != 0;
  if (reset) {
    in_reset_ = true;
    phase_ = Phase::kIdle;
    return;
  }
  if (!in_reset_) return;
  // Release: the reset signature, diagnostic code 1, and busy until ready.
  in_reset_ = false;
  ++counts_.resets;
  error_ = 0x01;
  error_bit_ = false;
  count_ = 1;
  lba_[0] = 1;
  lba_[1] = 0;
  lba_[2] = 0;
  drive_head_ = 0;
  count_reads_since_reset_ = 0;
  busy_reads_left_ = 0;
  ready_at_ms_ = clock_.next() + faults_.ready_after_ms;
}

void AtaDisk::Fail(uint8_t error) {
  error_ = error;
  error_bit_ = true;
  phase_ = Phase::kIdle;
}

void AtaDisk::StartCommand(uint8_t command) {
  error_ = 0;
  error_bit_ = false;
  phase_ = Phase::kIdle;
  busy_reads_left_ = faults_.busy_reads;
  switch (command) {
    case 0x20:
    case 0x21:
      StartTransfer(command, false);
      break;
    case 0x30:
    case 0x31:
      StartTransfer(command, true);
      break;
    case 0xEC:
      ++counts_.identify_commands;
      last_command_ = {command, 0, 1};
      FillIdentify();
      phase_ = Phase::kReadData;
      word_index_ = 0;
      sectors_left_ = 1;
      break;
    default:
      ++counts_.other_commands;
      last_command_ = {command, 0, 0};
      Fail(kErrorAbrt);
      break;
  }
}

void AtaDisk::StartTransfer(uint8_t command, bool write) {
  ++(write ? counts_.write_commands : counts_.read_commands);
  const uint32_t lba = uint32_t(lba_[0]) | uint32_t(lba_[1]) << 8 | uint32_t(lba_[2]) << 16 |
                       uint32_t(drive_head_ & 0x0F) << 24;
  const uint32_t count = count_ == 0 ? 256 : count_;
  last_command_ = {command, lba, count};
  if ((drive_head_ & kLbaMode) == 0) {
    Fail(kErrorAbrt);  // only LBA addressing is modelled
    return;
  }
  if (uint64_t(lba) + count > capacity()) {
    Fail(kErrorIdnf);
    return;
  }
  lba_next_ = lba;
  sectors_left_ = count;
  word_index_ = 0;
  if (write) {
    phase_ = Phase::kWriteData;
    return;
  }
  phase_ = Phase::kReadData;
  if (!LoadSector()) Fail(kErrorUnc);
}

bool AtaDisk::LoadSector() {
  if (faults_.disk_error_sector && *faults_.disk_error_sector == lba_next_) return false;
  return medium_.ReadSector(lba_next_, buffer_);
}

void AtaDisk::FillIdentify() {
  std::memset(buffer_, 0, sizeof buffer_);
  const uint32_t sectors = capacity();
  PutWord(buffer_, 0, 0x0040);  // fixed disk
  PutWord(buffer_, 1, uint16_t(std::min<uint32_t>(16383, sectors / (16 * 63))));
  PutWord(buffer_, 3, 16);
  PutWord(buffer_, 6, 63);
  PutString(buffer_, 10, 10, "SIM00000001");
  PutString(buffer_, 23, 4, "1.0");
  PutString(buffer_, 27, 20, "JUKEPAK SIMULATED DISK");
  PutWord(buffer_, 49, 0x0200);  // LBA supported
  PutWord(buffer_, 60, uint16_t(sectors & 0xFFFF));
  PutWord(buffer_, 61, uint16_t(sectors >> 16));
}

uint16_t AtaDisk::ReadData() {
  if (phase_ != Phase::kReadData || !dataReady()) return 0xFFFF;  // nothing drives the bus
  const uint16_t word = uint16_t(buffer_[2 * word_index_] | (buffer_[2 * word_index_ + 1] << 8));
  if (++word_index_ < 256) return word;
  word_index_ = 0;
  if (last_command_.command != 0xEC) ++counts_.sectors_read;
  ++lba_next_;
  if (--sectors_left_ == 0) {
    phase_ = Phase::kIdle;
    busy_reads_left_ = faults_.busy_reads;  // the drive completes the command
  } else if (!LoadSector()) {
    Fail(kErrorUnc);
  }
  return word;
}

void AtaDisk::WriteData(uint16_t word) {
  if (phase_ != Phase::kWriteData || !dataReady()) return;  // the word is lost
  buffer_[2 * word_index_] = uint8_t(word & 0xFF);
  buffer_[2 * word_index_ + 1] = uint8_t(word >> 8);
  if (++word_index_ < 256) return;
  word_index_ = 0;
  busy_reads_left_ = faults_.busy_reads;  // the drive writes the sector
  const bool bad = faults_.disk_error_sector && *faults_.disk_error_sector == lba_next_;
  if (bad || !medium_.WriteSector(lba_next_, buffer_)) {
    Fail(kErrorUnc);
    return;
  }
  ++counts_.sectors_written;
  ++lba_next_;
  if (--sectors_left_ == 0) phase_ = Phase::kIdle;
}

}  // namespace jukepak::sim
