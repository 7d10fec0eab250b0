// FaultPlan: which sector transfers fail and where the power goes, decided
// call by call. It holds no data and touches no disk; the fault-injecting
// devices (faultdisk.dld, the tests' FaultDevice) ask it before each transfer
// and do what it says.
//
// - A power cut after the k-th sector written: that many sectors reach the
//   disk, counted over every write from the moment the cut is set, and none
//   after; a multi-sector write is torn at the cut. Writes past the cut
//   report success, since the program would not notice before the power
//   went; only what reached the disk counts afterwards.
// - Read or write failures at chosen sectors, or from the n-th call on; once
//   (the rule then retires) or for good. Every failure is counted.
#pragma once

#include <cstdint>
#include <set>

namespace jukepak {

class FaultPlan {
 public:
  // From now on, only the next `sectors` sectors written reach the disk.
  void CutPowerAfterSectors(uint64_t sectors);
  bool powerCut() const { return cut_set_ && written_ >= cut_after_; }

  // Any transfer that touches `sector` fails; `once`: only the first time.
  void FailReadsAt(uint32_t sector, bool once = false);
  void FailWritesAt(uint32_t sector, bool once = false);
  // The `n`-th call from now on (1 = the next) and, unless `once`, every later one fails.
  void FailReadCallsFrom(uint64_t n, bool once = false);
  void FailWriteCallsFrom(uint64_t n, bool once = false);

  // Decides the next read call: true when it must fail.
  bool ReadFails(uint32_t sector, uint32_t count);

  struct WriteVerdict {
    bool fails = false;    // report a failure and write nothing
    uint32_t landing = 0;  // else: the leading sectors that reach the disk
  };
  // Decides the next write call.
  WriteVerdict DecideWrite(uint32_t sector, uint32_t count);

  uint64_t sectorsWritten() const { return written_; }  // issued, whether they landed or not
  uint64_t injectedFailures() const { return injected_; }

 private:
  struct Rule {
    bool active = false;
    bool once = false;
    uint64_t from_call = 0;
    std::set<uint32_t> sectors;
  };
  static bool Touches(const std::set<uint32_t>& sectors, uint32_t sector, uint32_t count);
  bool Fires(Rule& rule, uint64_t call, uint32_t sector, uint32_t count);

  bool cut_set_ = false;
  uint64_t cut_after_ = 0;
  uint64_t written_ = 0;
  uint64_t read_calls_ = 0;
  uint64_t write_calls_ = 0;
  uint64_t injected_ = 0;
  Rule read_rule_;
  Rule write_rule_;
};

}  // namespace jukepak
