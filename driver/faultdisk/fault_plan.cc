#include "driver/faultdisk/fault_plan.h"

#include <algorithm>

namespace jukepak {

void FaultPlan::CutPowerAfterSectors(uint64_t sectors) {
  cut_set_ = true;
  cut_after_ = written_ + sectors;
}

void FaultPlan::FailReadsAt(uint32_t sector, bool once) {
  read_rule_.active = true;
  read_rule_.once = once;
  read_rule_.sectors.insert(sector);
}

void FaultPlan::FailWritesAt(uint32_t sector, bool once) {
  write_rule_.active = true;
  write_rule_.once = once;
  write_rule_.sectors.insert(sector);
}

void FaultPlan::FailReadCallsFrom(uint64_t n, bool once) {
  read_rule_.active = true;
  read_rule_.once = once;
  read_rule_.from_call = read_calls_ + n;
}

void FaultPlan::FailWriteCallsFrom(uint64_t n, bool once) {
  write_rule_.active = true;
  write_rule_.once = once;
  write_rule_.from_call = write_calls_ + n;
}

bool FaultPlan::Touches(const std::set<uint32_t>& sectors, uint32_t sector, uint32_t count) {
  auto first = sectors.lower_bound(sector);
  return first != sectors.end() && uint64_t(*first) < uint64_t(sector) + count;
}

bool FaultPlan::Fires(Rule& rule, uint64_t call, uint32_t sector, uint32_t count) {
  if (!rule.active) return false;
  const bool by_call = rule.from_call != 0 && call >= rule.from_call;
  const bool by_sector = Touches(rule.sectors, sector, count);
  if (!by_call && !by_sector) return false;
  if (rule.once) rule.active = false;
  ++injected_;
  return true;
}

bool FaultPlan::ReadFails(uint32_t sector, uint32_t count) {
  ++read_calls_;
  return Fires(read_rule_, read_calls_, sector, count);
}

FaultPlan::WriteVerdict FaultPlan::DecideWrite(uint32_t sector, uint32_t count) {
  ++write_calls_;
  WriteVerdict verdict;
  if (Fires(write_rule_, write_calls_, sector, count)) {
    verdict.fails = true;
    return verdict;
  }
  verdict.landing = count;
  if (cut_set_) {
    verdict.landing =
        written_ >= cut_after_ ? 0 : uint32_t(std::min<uint64_t>(count, cut_after_ - written_));
  }
  written_ += count;
  return verdict;
}

}  // namespace jukepak
