// FaultPlan: which calls to a disk fail and where the power goes, decided
// call by call, and a log of the write calls as they were issued. It holds
// no data and touches no disk; the fault-injecting devices (faultdisk.dld,
// the tests' FaultDevice) ask it before each call and do what it says.
//
// - Failures: one countdown per class of call (open, size query, read,
//   write) fires at chosen sectors or from the n-th call on, once (the
//   countdown then retires) or for good. Every injected failure is counted.
// - A power cut after the k-th sector or the k-th write call: that many
//   sectors (or calls) reach the disk, counted from the moment the cut is
//   set, and none after; a multi-sector write is torn at a sector cut.
//   Writes past the cut report success, since the program would not notice
//   before the power went; only what reached the disk counts afterwards.
//
// Not thread-safe; one device asks it, one call at a time.
#pragma once

#include <cstdint>
#include <limits>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace jukepak::testing {

enum class Repeat { kForGood, kOnce };

// One write call as the plan decided it.
struct WriteRecord {
  uint32_t sector = 0;
  uint32_t count = 0;
  uint32_t landed = 0;  // the leading sectors that reached the disk
  bool failed = false;  // reported as failed; nothing was written
  bool operator==(const WriteRecord&) const = default;
};

// "SECTOR COUNT", then " failed" for a failed call or " landed L" for one
// the power cut kept all but L sectors from the disk.
std::string WriteLogLine(const WriteRecord& write);
std::ostream& operator<<(std::ostream& os, const WriteRecord& write);

class FaultPlan {
 public:
  FaultPlan();

  void FailOpens(Repeat repeat = Repeat::kForGood);
  void FailSizeQueries(Repeat repeat = Repeat::kForGood);
  // Any transfer that touches `sector` fails.
  void FailReadsAt(uint32_t sector, Repeat repeat = Repeat::kForGood);
  void FailWritesAt(uint32_t sector, Repeat repeat = Repeat::kForGood);
  // The `n`-th call from now on (1 = the next) fails, and with kForGood
  // every later one.
  void FailReadCallsFrom(uint64_t n, Repeat repeat = Repeat::kForGood);
  void FailWriteCallsFrom(uint64_t n, Repeat repeat = Repeat::kForGood);

  // From now on, only the next `sectors` sectors written reach the disk.
  void CutPowerAfterSectors(uint64_t sectors);
  // From now on, only the next `writes` write calls reach the disk.
  void CutPowerAfterWrites(uint64_t writes);
  bool powerCut() const;

  // Decide the next call of their class: true when it must fail.
  bool OpenFails();
  bool SizeQueryFails();
  bool ReadFails(uint32_t sector, uint32_t count);
  // Decides the next write call and logs it (unless the log is off).
  WriteRecord DecideWrite(uint32_t sector, uint32_t count);
  // The disk refused the write last decided: it is logged as failed.
  void NoteWriteRefused();
  const WriteRecord& lastWrite() const { return last_; }

  // Every write call decided, oldest first. On by default; a long-running
  // device that writes its own log turns it off.
  void KeepWriteLog(bool keep) { keep_log_ = keep; }
  const std::vector<WriteRecord>& writeLog() const { return log_; }
  // The first sector of each logged write, oldest first.
  std::vector<uint32_t> WrittenSectors() const;
  void ClearWriteLog() { log_.clear(); }

  uint64_t readCalls() const { return read_.calls; }
  uint64_t writeCalls() const { return write_.calls; }
  uint64_t sectorsWritten() const { return sectors_written_; }  // issued, landed or not
  uint64_t injectedFailures() const { return injected_; }

 private:
  static constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

  // The countdown of one class of call.
  struct Fault {
    bool armed = false;
    Repeat repeat = Repeat::kForGood;
    uint64_t from_call = kNever;
    std::set<uint32_t> sectors;
    uint64_t calls = 0;
  };
  static void ArmAtSector(Fault& fault, uint32_t sector, Repeat repeat);
  static void ArmFromCall(Fault& fault, uint64_t n, Repeat repeat);
  // Counts the call; true when it must fail.
  bool Fires(Fault& fault, uint32_t sector, uint32_t count);
  uint32_t Landing(uint32_t count) const;

  Fault open_;
  Fault size_;
  Fault read_;
  Fault write_;
  uint64_t sector_cut_ = kNever;  // sectors_written_ beyond which nothing lands
  uint64_t write_cut_ = kNever;   // write calls beyond which nothing lands
  uint64_t sectors_written_ = 0;
  uint64_t injected_ = 0;
  bool keep_log_ = true;
  std::vector<WriteRecord> log_;
  WriteRecord last_;
};

}  // namespace jukepak::testing
