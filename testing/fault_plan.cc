#include "testing/fault_plan.h"

#include <algorithm>

namespace jukepak::testing {

std::string WriteLogLine(const WriteRecord& write) {
  std::string line = std::to_string(write.sector) + " " + std::to_string(write.count);
  if (write.failed) return line + " failed";
  if (write.landed < write.count) line += " landed " + std::to_string(write.landed);
  return line;
}

std::ostream& operator<<(std::ostream& os, const WriteRecord& write) {
  return os << WriteLogLine(write);
}

FaultPlan::FaultPlan() = default;

void FaultPlan::ArmAtSector(Fault& fault, uint32_t sector, Repeat repeat) {
  fault.armed = true;
  fault.repeat = repeat;
  fault.sectors.insert(sector);
}

void FaultPlan::ArmFromCall(Fault& fault, uint64_t n, Repeat repeat) {
  fault.armed = true;
  fault.repeat = repeat;
  fault.from_call = fault.calls + n;
}

void FaultPlan::FailOpens(Repeat repeat) { ArmFromCall(open_, 1, repeat); }
void FaultPlan::FailSizeQueries(Repeat repeat) { ArmFromCall(size_, 1, repeat); }
void FaultPlan::FailReadsAt(uint32_t sector, Repeat repeat) { ArmAtSector(read_, sector, repeat); }
void FaultPlan::FailWritesAt(uint32_t sector, Repeat repeat) {
  ArmAtSector(write_, sector, repeat);
}
void FaultPlan::FailReadCallsFrom(uint64_t n, Repeat repeat) { ArmFromCall(read_, n, repeat); }
void FaultPlan::FailWriteCallsFrom(uint64_t n, Repeat repeat) { ArmFromCall(write_, n, repeat); }

void FaultPlan::CutPowerAfterSectors(uint64_t sectors) {
  sector_cut_ = sectors > kNever - sectors_written_ ? kNever : sectors_written_ + sectors;
}

void FaultPlan::CutPowerAfterWrites(uint64_t writes) {
  write_cut_ = writes > kNever - write_.calls ? kNever : write_.calls + writes;
}

bool FaultPlan::powerCut() const {
  return sectors_written_ >= sector_cut_ || write_.calls >= write_cut_;
}

bool FaultPlan::Fires(Fault& fault, uint32_t sector, uint32_t count) {
  ++fault.calls;
  if (!fault.armed) return false;
  const bool by_call = fault.calls >= fault.from_call;
  const auto first = fault.sectors.lower_bound(sector);
  const bool by_sector =
      first != fault.sectors.end() && uint64_t(*first) < uint64_t(sector) + count;
  if (!by_call && !by_sector) return false;
  if (fault.repeat == Repeat::kOnce) fault.armed = false;
  ++injected_;
  return true;
}

bool FaultPlan::OpenFails() { return Fires(open_, 0, 0); }
bool FaultPlan::SizeQueryFails() { return Fires(size_, 0, 0); }
bool FaultPlan::ReadFails(uint32_t sector, uint32_t count) { return Fires(read_, sector, count); }

// Called after the write was counted.
uint32_t FaultPlan::Landing(uint32_t count) const {
  if (write_.calls > write_cut_ || sectors_written_ >= sector_cut_) return 0;
  return uint32_t(std::min<uint64_t>(count, sector_cut_ - sectors_written_));
}

WriteRecord FaultPlan::DecideWrite(uint32_t sector, uint32_t count) {
  last_ = WriteRecord{sector, count, 0, false};
  if (Fires(write_, sector, count)) {
    last_.failed = true;
  } else {
    last_.landed = Landing(count);
    sectors_written_ += count;
  }
  if (keep_log_) log_.push_back(last_);
  return last_;
}

void FaultPlan::NoteWriteRefused() {
  last_.failed = true;
  last_.landed = 0;
  if (keep_log_ && !log_.empty()) log_.back() = last_;
}

std::vector<uint32_t> FaultPlan::WrittenSectors() const {
  std::vector<uint32_t> sectors;
  for (const WriteRecord& write : log_) sectors.push_back(write.sector);
  return sectors;
}

}  // namespace jukepak::testing
