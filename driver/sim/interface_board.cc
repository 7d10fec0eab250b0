#include "driver/sim/interface_board.h"

namespace jukepak::sim {

using portlink::PortRegister;

InterfaceBoard::InterfaceBoard(std::unique_ptr<DiskMedium> medium, const SimFaults& faults)
    : faults_(faults), medium_(std::move(medium)), disk_(*medium_, faults_, clock_) {}

void InterfaceBoard::PullCableWhenDue() {
  if (faults_.cable_pulled_after_ops != 0 && ops_.total() >= faults_.cable_pulled_after_ops) {
    faults_.cable_pulled = true;
  }
}

void InterfaceBoard::PortWrite(PortRegister reg, uint8_t value) {
  PullCableWhenDue();
  switch (reg) {
    case PortRegister::kData:
      ++ops_.data_writes;
      data_ = value;
      break;
    case PortRegister::kControl: {
      ++ops_.control_writes;
      const uint8_t previous = control_;
      control_ = value;
      if (value != previous && !faults_.cable_pulled) OnControl(value);
      break;
    }
    case PortRegister::kStatus:
      ++ops_.status_writes;
      epp_timeout_ = false;
      break;
    case PortRegister::kEppData:
      ++ops_.epp_data_writes;
      OnEppByte(value);
      break;
  }
}

uint8_t InterfaceBoard::PortRead(PortRegister reg) {
  PullCableWhenDue();
  switch (reg) {
    case PortRegister::kStatus: {
      ++ops_.status_reads;
      if (faults_.cable_pulled) return kPulledCableStatus;
      const uint8_t value = uint8_t(lines_ | (epp_timeout_ ? 0x01 : 0x00));
      if (settling_) {
        settling_ = false;
        lines_ = settled_lines_;
      }
      return value;
    }
    case PortRegister::kData:
      ++ops_.other_reads;
      return data_;
    case PortRegister::kControl:
      ++ops_.other_reads;
      return control_;
    case PortRegister::kEppData:
      ++ops_.other_reads;
      return 0xFF;
  }
  return 0xFF;
}

void InterfaceBoard::Show(bool handshake, uint8_t nibble) {
  lines_ = uint8_t((handshake ? 0x80 : 0x00) | ((nibble & 0x0F) << 3));
  settling_ = false;
}

void InterfaceBoard::ShowAfterEdge(bool handshake, uint8_t nibble) {
  if (settling_) lines_ = settled_lines_;  // the last half's nibble has settled by now
  lines_ = uint8_t((handshake ? 0x80 : 0x00) | (lines_ & 0x78));
  settled_lines_ = uint8_t((handshake ? 0x80 : 0x00) | ((nibble & 0x0F) << 3));
  settling_ = true;
}

void InterfaceBoard::OnControl(uint8_t value) {
  if ((value & 0x04) == 0) {
    HoldInReset();
    return;
  }
  const bool first = (value & 0x02) != 0;
  if ((value & 0x01) != 0) {
    OnCommandHalf(first);
  } else {
    OnDataHalf(first);
  }
}

void InterfaceBoard::HoldInReset() {
  have_high_ = false;
  reply_ = 0xFF;
  second_reply_.reset();
  expect_ = Expect::kCommand;
  block_ = Block::kNone;
  Show(false, 0x0F);
}

void InterfaceBoard::OnCommandHalf(bool first) {
  if (first) {
    block_ = Block::kNone;
    word_high_ = data_;
    have_high_ = true;
    Show(false, reply_ & 0x0F);
    return;
  }
  if (!have_high_) {  // a second half without a first: handshake only
    Show(true, 0x0F);
    return;
  }
  have_high_ = false;
  Show(true, reply_ >> 4);
  OnWord(uint16_t((word_high_ << 8) | data_));
}

void InterfaceBoard::OnDataHalf(bool first) {
  switch (block_) {
    case Block::kRead: {
      const uint8_t byte = block_bytes_[block_index_];
      ShowAfterEdge(!first, first ? (byte & 0x0F) : (byte >> 4));
      if (!first && ++block_index_ == 512) block_ = Block::kNone;
      return;
    }
    case Block::kSppWrite:
      block_bytes_[block_index_++] = data_;
      Show(!first, 0x0F);
      if (block_index_ == 512) {
        DeliverSector();
        block_ = Block::kNone;
      }
      return;
    case Block::kEppWrite:
    case Block::kNone:
      Show(!first, 0x0F);
      return;
  }
}

void InterfaceBoard::OnEppByte(uint8_t value) {
  if (faults_.cable_pulled || block_ != Block::kEppWrite || block_times_out_) {
    epp_timeout_ = true;  // nobody acknowledged the cycle
    return;
  }
  if (glitch_ != EppGlitch::kNone && block_index_ == kEppGlitchByte) {
    // The port gives up on this one cycle; a late acknowledge still took the byte.
    epp_timeout_ = true;
    const bool taken = glitch_ == EppGlitch::kLateAck;
    glitch_ = EppGlitch::kNone;
    if (!taken) return;
  }
  block_bytes_[block_index_++] = faults_.epp_broken ? uint8_t(~value) : value;
  if (block_index_ == 512) {
    DeliverSector();
    block_ = Block::kNone;
  }
}

void InterfaceBoard::OnWord(uint16_t word) {
  if (word_log_ != nullptr) word_log_->push_back(word);
  if (expect_ == Expect::kCommand) ++words_by_code_[word >> 8];
  uint8_t answer = uint8_t(word & 0xFF);
  switch (expect_) {
    case Expect::kStoreAddress:
      sram_[word & 0x7FFF] = pending_;
      expect_ = Expect::kCommand;
      break;
    case Expect::kFetchAddress:
      answer = SramRead(word & 0x7FFF);
      expect_ = Expect::kCommand;
      break;
    case Expect::kRegisterValue:
      disk_.Write(pending_, word);
      expect_ = Expect::kCommand;
      break;
    case Expect::kCommand: {
      // The word after a two-byte answer clocks out its second byte.
      const std::optional<uint8_t> second = second_reply_;
      second_reply_.reset();
      answer = Command(word);
      if (second) answer = *second;
      break;
    }
  }
  reply_ = answer;
}

uint8_t InterfaceBoard::Command(uint16_t word) {
  const uint8_t param = uint8_t(word & 0xFF);
  switch (word >> 8) {
    case 0x00:
      return faults_.echo_errors && param != 0 ? uint8_t(param ^ 0x01) : param;
    case 0x01:
      pending_ = param;
      expect_ = Expect::kStoreAddress;
      return param;
    case 0x02:
      expect_ = Expect::kFetchAddress;
      return param;
    case 0x03:
      pending_ = param;
      expect_ = Expect::kRegisterValue;
      return param;
    case 0x04: {
      const uint16_t value = disk_.Read(param);
      second_reply_ = uint8_t(value & 0xFF);
      return uint8_t(value >> 8);
    }
    case 0x05:
      block_ = Block::kSppWrite;
      block_index_ = 0;
      return param;
    case 0x06:
      FetchSector();
      block_ = Block::kRead;
      block_index_ = 0;
      return param;
    case 0x08: {
      const uint16_t code = remote_ ? remote_() : 0;
      second_reply_ = uint8_t(code >> 8);
      return uint8_t(code & 0xFF);
    }
    case 0x0B:
      block_ = Block::kEppWrite;
      block_index_ = 0;
      ++epp_blocks_;
      block_times_out_ = faults_.epp_timeout_at != 0 && epp_blocks_ == faults_.epp_timeout_at;
      glitch_ = EppGlitch::kNone;
      if (faults_.epp_late_ack_at == epp_blocks_) glitch_ = EppGlitch::kLateAck;
      if (faults_.epp_lost_byte_at == epp_blocks_) glitch_ = EppGlitch::kLostByte;
      return param;
    default:  // 0x0A brackets a write call; nothing to do on the board's side
      return param;
  }
}

uint8_t InterfaceBoard::SramRead(uint16_t address) const {
  const uint8_t stored = sram_[address];
  if (faults_.bad_sram_address && *faults_.bad_sram_address == address) {
    return uint8_t(stored ^ 0x01);
  }
  return stored;
}

void InterfaceBoard::FetchSector() {
  for (uint32_t w = 0; w < 256; ++w) {
    const uint16_t word = disk_.Read(0x10);
    block_bytes_[2 * w] = uint8_t(word & 0xFF);
    block_bytes_[2 * w + 1] = uint8_t(word >> 8);
  }
}

void InterfaceBoard::DeliverSector() {
  for (uint32_t w = 0; w < 256; ++w) {
    disk_.Write(0x10, uint16_t(block_bytes_[2 * w] | (block_bytes_[2 * w + 1] << 8)));
  }
}

}  // namespace jukepak::sim
