#include "volume/testing/fault_device.h"

#include <string>

namespace jukepak::testing {

void FaultDevice::CutPowerAfterSectors(uint64_t sectors) {
  cut_set_ = true;
  cut_after_ = written_ + sectors;
}

void FaultDevice::FailReadsAt(uint32_t sector, bool once) {
  read_rule_.active = true;
  read_rule_.once = once;
  read_rule_.sectors.insert(sector);
}

void FaultDevice::FailWritesAt(uint32_t sector, bool once) {
  write_rule_.active = true;
  write_rule_.once = once;
  write_rule_.sectors.insert(sector);
}

void FaultDevice::FailReadCallsFrom(uint64_t n, bool once) {
  read_rule_.active = true;
  read_rule_.once = once;
  read_rule_.from_call = read_calls_ + n;
}

void FaultDevice::FailWriteCallsFrom(uint64_t n, bool once) {
  write_rule_.active = true;
  write_rule_.once = once;
  write_rule_.from_call = write_calls_ + n;
}

bool FaultDevice::Touches(const std::set<uint32_t>& sectors, uint32_t sector, uint32_t count) {
  auto first = sectors.lower_bound(sector);
  return first != sectors.end() && uint64_t(*first) < uint64_t(sector) + count;
}

bool FaultDevice::Fires(Rule& rule, uint64_t call, uint32_t sector, uint32_t count) {
  if (!rule.active) return false;
  const bool by_call = rule.from_call != 0 && call >= rule.from_call;
  const bool by_sector = Touches(rule.sectors, sector, count);
  if (!by_call && !by_sector) return false;
  if (rule.once) rule.active = false;
  ++injected_;
  return true;
}

Result FaultDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  ++read_calls_;
  if (Fires(read_rule_, read_calls_, sector, count)) {
    return Result::Error(ResultCode::kIoError, "injected read failure at sector " + std::to_string(sector));
  }
  return ForwardingDevice::Read(sector, count, out);
}

Result FaultDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  ++write_calls_;
  writes_.push_back({sector, count});
  if (Fires(write_rule_, write_calls_, sector, count)) {
    return Result::Error(ResultCode::kIoError, "injected write failure at sector " + std::to_string(sector));
  }
  uint64_t landing = count;
  if (cut_set_) landing = written_ >= cut_after_ ? 0 : std::min<uint64_t>(count, cut_after_ - written_);
  written_ += count;
  if (landing == 0) return Result::Ok();
  return ForwardingDevice::Write(sector, uint32_t(landing), in);
}

}  // namespace jukepak::testing
