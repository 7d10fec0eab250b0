#include "checker/testing/faulty_device.h"

namespace jukepak::checker::testing {
namespace {

bool Hits(uint64_t seen, uint64_t target, bool for_good) {
  return target != 0 && (seen == target || (for_good && seen > target));
}

}  // namespace

Result FaultyDevice::Open() {
  if (fail_open_) {
    ++injected_;
    return Result::Error(ResultCode::kIoError, "injected open failure");
  }
  return ForwardingDevice::Open();
}

Result FaultyDevice::QuerySectorCount(uint32_t* count) {
  if (fail_size_) {
    ++injected_;
    return Result::Error(ResultCode::kIoError, "injected size failure");
  }
  return ForwardingDevice::QuerySectorCount(count);
}

Result FaultyDevice::Read(uint32_t sector, uint32_t count, uint8_t* out) {
  ++reads_;
  if (Hits(reads_, fail_read_, read_for_good_)) {
    ++injected_;
    return Result::Error(ResultCode::kIoError, "injected read failure");
  }
  return ForwardingDevice::Read(sector, count, out);
}

Result FaultyDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  ++writes_;
  if (Hits(writes_, fail_write_, write_for_good_)) {
    ++injected_;
    return Result::Error(ResultCode::kIoError, "injected write failure");
  }
  if (writes_ > cut_after_) {
    ++injected_;
    return Result::Ok();
  }
  return ForwardingDevice::Write(sector, count, in);
}

}  // namespace jukepak::checker::testing
