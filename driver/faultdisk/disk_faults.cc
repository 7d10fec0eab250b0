#include "driver/faultdisk/disk_faults.h"

#include <string_view>

#include "base/switch_list.h"

namespace jukepak {
namespace {

Result Bad(std::string_view item, const char* why) {
  return Result::Error(ResultCode::kInvalidArgument,
                       std::string("disk fault \"") + std::string(item) + "\": " + why);
}

constexpr std::string_view kNumberedSwitches[] = {"power-cut-after-sectors", "fail-read-at",
                                                  "fail-write-at", "fail-reads-from-call",
                                                  "fail-writes-from-call"};

bool IsNumbered(std::string_view name) {
  for (std::string_view known : kNumberedSwitches) {
    if (name == known) return true;
  }
  return false;
}

Result ApplyNumber(const Switch& item, uint32_t n, DiskFaults* f) {
  const std::string_view name = item.name;
  if (name == "power-cut-after-sectors") {
    f->power_cut_after_sectors = n;
  } else if (name == "fail-read-at") {
    f->failing_read_sectors.push_back(n);
  } else if (name == "fail-write-at") {
    f->failing_write_sectors.push_back(n);
  } else {
    if (n == 0) return Bad(item.item, "calls are counted from 1");
    (name == "fail-reads-from-call" ? f->fail_reads_from_call : f->fail_writes_from_call) = n;
  }
  return Result::Ok();
}

Result ApplyItem(const Switch& item, DiskFaults* f) {
  if (item.name == "once") {
    if (item.has_value) return Bad(item.item, "takes no value");
    f->once = true;
    return Result::Ok();
  }
  if (item.name == "write-log") {
    if (item.value.empty()) return Bad(item.item, "needs a file name");
    f->write_log = std::string(item.value);
    return Result::Ok();
  }
  if (!IsNumbered(item.name)) return Bad(item.item, "unknown switch");
  if (!item.has_value) return Bad(item.item, "needs a value");
  uint32_t n = 0;
  if (!ParseSwitchNumber(item.value, &n)) return Bad(item.item, "not a number");
  return ApplyNumber(item, n, f);
}

}  // namespace

testing::FaultPlan DiskFaults::Plan() const {
  testing::FaultPlan plan;
  const testing::Repeat repeat = once ? testing::Repeat::kOnce : testing::Repeat::kForGood;
  if (power_cut_after_sectors) plan.CutPowerAfterSectors(*power_cut_after_sectors);
  for (uint32_t sector : failing_read_sectors) plan.FailReadsAt(sector, repeat);
  for (uint32_t sector : failing_write_sectors) plan.FailWritesAt(sector, repeat);
  if (fail_reads_from_call != 0) plan.FailReadCallsFrom(fail_reads_from_call, repeat);
  if (fail_writes_from_call != 0) plan.FailWriteCallsFrom(fail_writes_from_call, repeat);
  return plan;
}

Result ParseDiskFaults(const char* text, DiskFaults* faults) {
  DiskFaults parsed;
  const Result applied =
      ForEachSwitch(text, [&parsed](const Switch& item) { return ApplyItem(item, &parsed); });
  if (!applied.ok()) return applied;
  *faults = parsed;
  return Result::Ok();
}

}  // namespace jukepak
