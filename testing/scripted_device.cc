#include "testing/scripted_device.h"

namespace jukepak::testing {

void ScriptedDevice::Hold(Op op) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_op_ = op;
}

void ScriptedDevice::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_op_.reset();
  }
  changed_.notify_all();
}

bool ScriptedDevice::WaitUntilHeld(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return held_ > 0; });
}

bool ScriptedDevice::holding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_ > 0;
}

std::vector<DeviceCall> ScriptedDevice::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

uint64_t ScriptedDevice::callCount(Op op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_[int(op)];
}

void ScriptedDevice::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
  for (uint64_t& count : counts_) count = 0;
}

DeviceCall ScriptedDevice::Enter(Op op, uint32_t sector, uint32_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  const DeviceCall call{op, sector, count, ++counts_[int(op)]};
  calls_.push_back(call);
  if (held_op_ == op) {
    ++held_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return held_op_ != op; });
    --held_;
  }
  return call;
}

std::optional<Result> ScriptedDevice::Before(const DeviceCall& call) const {
  return before_ ? before_(call) : std::nullopt;
}

Result ScriptedDevice::Open() {
  const DeviceCall call = Enter(Op::kOpen, 0, 0);
  if (std::optional<Result> answer = Before(call)) return *answer;
  return ForwardingDevice::Open();
}

void ScriptedDevice::Close() {
  const DeviceCall call = Enter(Op::kClose, 0, 0);
  (void)Before(call);  // a close cannot fail; the hook only sees it
  ForwardingDevice::Close();
}

Result ScriptedDevice::QuerySectorCount(uint32_t* count) {
  const DeviceCall call = Enter(Op::kSizeQuery, 0, 0);
  if (std::optional<Result> answer = Before(call)) return *answer;
  return ForwardingDevice::QuerySectorCount(count);
}

Result ScriptedDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  const DeviceCall call = Enter(Op::kRead, sector, count);
  if (std::optional<Result> answer = Before(call)) return *answer;
  const Result r = ForwardingDevice::Read(sector, count, out);
  if (r.ok() && after_read_) after_read_(call, out);
  return r;
}

Result ScriptedDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  const DeviceCall call = Enter(Op::kWrite, sector, count);
  if (std::optional<Result> answer = Before(call)) return *answer;
  const Result r = ForwardingDevice::Write(sector, count, in);
  if (after_write_) after_write_(call, r);
  return r;
}

}  // namespace jukepak::testing
