// FlushChanges: writes the sectors the repair steps marked.
//
// Order: the CD records from the highest sector down, then the FAT sectors in
// ascending order, then the header. When a CD is removed, the records below
// it each move one sector up; writing them from the top down means a cut
// leaves one record on two adjacent sectors under the old header, which the
// next check removes again, where writing the header first could drop a
// healthy CD from the run.

#include <algorithm>
#include <cstddef>

#include "checker/check_engine.h"
#include "format/format_constants.h"

namespace jukepak::checker {

Result CheckEngine::FlushChanges() {
  if (writer_ == nullptr) return Result::Ok();
  Result r = WriteDirtyCds();
  if (!r.ok()) return r;
  r = WriteDirtyFatSectors();
  if (!r.ok()) return r;
  if (header_dirty_) {
    r = writer_->WriteSectors(0, format::kHeaderSectors, header_);
    if (!r.ok()) return r;
    header_dirty_ = false;
  }
  if (poll_ != nullptr && poll_->StopRequested()) {
    return Result::Error(ResultCode::kCancelled, "the check was stopped");
  }
  return Result::Ok();
}

Result CheckEngine::WriteDirtyCds() {
  const uint32_t cd_start = cdStart();
  for (size_t i = cds_.size(); i-- > 0;) {
    if (!cds_[i].dirty) continue;
    Result r = writer_->WriteSectors(cd_start + uint32_t(i), 1, CdRecordBytes(uint32_t(i)));
    if (!r.ok()) return r;
    cds_[i].dirty = false;
  }
  return Result::Ok();
}

Result CheckEngine::WriteDirtyFatSectors() {
  if (fat_dirty_list_.empty()) return Result::Ok();
  std::sort(fat_dirty_list_.begin(), fat_dirty_list_.end());
  const uint32_t fat_start = HeaderField(format::kFatStartOffset);
  const uint32_t fat_sectors = HeaderField(format::kFatSectorsOffset);
  size_t done = 0;
  Result r;
  for (; done < fat_dirty_list_.size(); ++done) {
    const uint32_t sector = fat_dirty_list_[done];
    // Sectors past the header's FAT are not part of the volume: never written.
    if (sector < fat_sectors) {
      r = writer_->WriteSectors(fat_start + sector, 1, fat_ + size_t(sector) * format::kSectorSize);
      if (!r.ok()) break;
    }
    fat_dirty_[sector] = 0;
  }
  fat_dirty_list_.erase(fat_dirty_list_.begin(), fat_dirty_list_.begin() + std::ptrdiff_t(done));
  return r;
}

}  // namespace jukepak::checker
