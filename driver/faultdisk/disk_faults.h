// DiskFaults: the faults faultdisk.dld injects, and how they are spelled in
// JUKEPAK_DISK_FAULTS (read when the module opens): a comma-separated list
// such as "power-cut-after-sectors=40" or
// "fail-write-at=2,once,write-log=/tmp/writes.log". Numbers are decimal or
// 0x-hex.
//
//   power-cut-after-sectors=K  K sectors written from Open on reach the image,
//                          none after (a write is torn at the cut; the lost
//                          writes still report success)
//   fail-read-at=S         a read touching sector S fails (may be repeated)
//   fail-write-at=S        a write touching sector S fails, writing nothing
//   fail-reads-from-call=N the N-th read call (from 1) and every later one fail
//   fail-writes-from-call=N  the same for write calls
//   once                   only the first injected read failure and the first
//                          injected write failure happen
//   write-log=PATH         every write call is appended to PATH as a line
//                          "SECTOR COUNT", followed by " landed L" when the
//                          power cut kept all but L sectors from the image and
//                          by " failed" when it was made to fail
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "testing/fault_plan.h"

namespace jukepak {

inline constexpr char kDiskFaultsVariable[] = "JUKEPAK_DISK_FAULTS";

struct DiskFaults {
  std::optional<uint32_t> power_cut_after_sectors;
  std::vector<uint32_t> failing_read_sectors;
  std::vector<uint32_t> failing_write_sectors;
  uint32_t fail_reads_from_call = 0;   // 0: never
  uint32_t fail_writes_from_call = 0;  // 0: never
  bool once = false;
  std::string write_log;  // empty: no log

  // The plan that injects these faults, counting from now.
  testing::FaultPlan Plan() const;
};

// Parses `text` (null or empty: no faults) into *faults. An unknown switch, a
// missing, malformed or zero call number, or an empty log path fails with
// kInvalidArgument naming the item, so a typing mistake never runs without
// its fault.
Result ParseDiskFaults(const char* text, DiskFaults* faults);

}  // namespace jukepak
