// FaultDevice: a SectorDevice that breaks the device behind it on purpose,
// for tests of what the engines do when the disk fails or the power goes.
//
// - A power cut after the k-th sector written: that sector and every later
//   one never reach the disk (a multi-sector write is torn at the cut). The
//   dropped writes report success, as the program would not notice before
//   the power went; only what reached the disk counts afterwards.
// - Read or write failures at chosen sectors, or from the n-th call on,
//   once or for good; each failure is counted.
// - A record of every write call as it was issued.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "volume/sector_device.h"

namespace jukepak::testing {

class FaultDevice : public ForwardingDevice {
 public:
  struct WriteCall {
    uint32_t sector;
    uint32_t count;
  };

  // Does not own `target`.
  explicit FaultDevice(SectorDevice* target) : ForwardingDevice(target) {}

  // Sectors after the first `sectors` written from now on are dropped.
  void CutPowerAfterSectors(uint64_t sectors);
  bool powerCut() const { return cut_set_ && written_ >= cut_after_; }

  // Any transfer that touches `sector` fails; `once`: only the first time.
  void FailReadsAt(uint32_t sector, bool once = false);
  void FailWritesAt(uint32_t sector, bool once = false);
  // The `n`-th call from now on (1 = the next) and, unless `once`, every later one fails.
  void FailReadCallsFrom(uint64_t n, bool once = false);
  void FailWriteCallsFrom(uint64_t n, bool once = false);

  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

  const std::vector<WriteCall>& writes() const { return writes_; }
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
  std::vector<WriteCall> writes_;
};

}  // namespace jukepak::testing
