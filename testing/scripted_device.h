// ScriptedDevice: forwards every call to the device behind it, records each
// call, and runs the test's hooks around them, for tests that must act at
// one exact call or look at the world as a call sees it:
// - before each call, a hook may answer it in the device's place (a failure
//   of the test's own making) or do something at that moment (ask a job to
//   stop, check what an undo file holds);
// - after a read, a hook may change the bytes read (a flaky link);
// - after a write, a hook sees the device's answer;
// - the calls of one kind can be held at their start until the test lets
//   them go, so a test can act while a worker thread is inside a transfer.
// Declarative faults (failures by sector or call, power cuts) belong to
// FaultDevice; put it behind this device to combine both.
//
// The record and the hold may be used from any thread; the hooks run on the
// calling thread. Set the hooks while no call is in flight.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "format/sector_device.h"

namespace jukepak::testing {

enum class Op { kOpen, kClose, kSizeQuery, kRead, kWrite };

struct DeviceCall {
  Op op = Op::kOpen;
  uint32_t sector = 0;  // reads and writes
  uint32_t count = 0;   // reads and writes
  uint64_t number = 0;  // 1 = the first call of its kind since the record was cleared
};

class ScriptedDevice : public ForwardingDevice {
 public:
  // A Result answers the call in the device's place; nullopt lets it through.
  using BeforeHook = std::function<std::optional<Result>(const DeviceCall&)>;
  using AfterReadHook = std::function<void(const DeviceCall&, uint8_t* out)>;
  using AfterWriteHook = std::function<void(const DeviceCall&, const Result&)>;

  // Does not own `target`.
  explicit ScriptedDevice(SectorDevice* target) : ForwardingDevice(target) {}

  void BeforeEach(BeforeHook hook) { before_ = std::move(hook); }
  // Runs only after reads the device served.
  void AfterRead(AfterReadHook hook) { after_read_ = std::move(hook); }
  void AfterWrite(AfterWriteHook hook) { after_write_ = std::move(hook); }

  // From now on every call of kind `op` waits at its start (before the
  // hook) until Release().
  void Hold(Op op);
  void Release();
  // Waits until a call is held, at most `limit`; false when none came.
  bool WaitUntilHeld(std::chrono::milliseconds limit);
  bool holding() const;

  // Every call so far, oldest first.
  std::vector<DeviceCall> calls() const;
  uint64_t callCount(Op op) const;
  // Forgets the record; the numbering starts again at 1.
  void ClearCalls();

  Result Open() override;
  void Close() override;
  Result QuerySectorCount(uint32_t* count) override;
  Result Read(uint32_t sector, uint32_t count, uint8_t* out) override;
  Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;

 private:
  // Records the call and waits while calls of its kind are held.
  DeviceCall Enter(Op op, uint32_t sector, uint32_t count);
  std::optional<Result> Before(const DeviceCall& call) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DeviceCall> calls_;
  uint64_t counts_[5] = {};
  std::optional<Op> held_op_;
  int held_ = 0;  // calls waiting now

  BeforeHook before_;
  AfterReadHook after_read_;
  AfterWriteHook after_write_;
};

}  // namespace jukepak::testing
