#include "undo/undo_device.h"

#include "undo/undo_format.h"

namespace jukepak::undo {
namespace {

constexpr uint32_t kChunk = 64;  // sectors read at once

}  // namespace

UndoDevice::UndoDevice(SectorDevice* target, UndoStore* store, std::string operation)
    : ForwardingDevice(target), store_(store), operation_(std::move(operation)) {}

Result UndoDevice::WriteHeader() {
  if (header_written_) return Result::Ok();
  uint32_t sectors = 0;
  Result r = target()->QuerySectorCount(&sectors);
  if (!r.ok()) return r;
  const auto header = EncodeHeader(sectors, operation_);
  r = store_->Append(header.data(), header.size());
  if (r.ok()) header_written_ = true;
  return r;
}

Result UndoDevice::SaveOldContents(uint32_t sector, uint32_t count) {
  std::vector<uint8_t> old(size_t(kChunk) * kUndoSectorSize);
  bool appended = false;
  for (uint64_t s = sector; s < uint64_t(sector) + count;) {
    if (saved_.count(uint32_t(s)) != 0) {
      ++s;
      continue;
    }
    // The run of sectors not saved yet, at most one chunk.
    uint32_t run = 0;
    while (run < kChunk && s + run < uint64_t(sector) + count &&
           saved_.count(uint32_t(s + run)) == 0) {
      ++run;
    }
    Result r = target()->Read(uint32_t(s), run, old.data());
    if (!r.ok()) return r;
    for (uint32_t k = 0; k < run; ++k) {
      const auto block = EncodeSaved(uint32_t(s + k), uint32_t(order_.size()),
                                     old.data() + size_t(k) * kUndoSectorSize);
      r = store_->Append(block.data(), block.size());
      if (!r.ok()) return r;
      saved_.insert(uint32_t(s + k));
      order_.push_back(uint32_t(s + k));
    }
    appended = true;
    s += run;
  }
  return appended ? store_->Sync() : Result::Ok();
}

Result UndoDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  if (finished_) {
    return Result::Error(ResultCode::kInvalidArgument, "the undo file is already finished");
  }
  Result r = WriteHeader();
  if (r.ok()) r = SaveOldContents(sector, count);
  if (!r.ok()) return r;
  return ForwardingDevice::Write(sector, count, in);
}

Result UndoDevice::Finish() {
  if (finished_) return Result::Ok();
  Result r = WriteHeader();
  if (!r.ok()) return r;
  std::vector<uint32_t> crcs;
  crcs.reserve(order_.size());
  uint8_t now[kUndoSectorSize];
  for (uint32_t sector : order_) {
    r = target()->Read(sector, 1, now);
    if (!r.ok()) return r;
    crcs.push_back(Crc32(now, sizeof now));
  }
  const std::vector<uint8_t> done = EncodeDone(crcs);
  r = store_->Append(done.data(), done.size());
  if (r.ok()) r = store_->Sync();
  if (r.ok()) finished_ = true;
  return r;
}

}  // namespace jukepak::undo
