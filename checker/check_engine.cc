// The engine's state: attaching and releasing the images, the header's
// fields, FAT entries and the report buffer.

#include "checker/check_engine.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "base/byte_order.h"
#include "format/format_constants.h"
#include "format/text_field.h"

namespace jukepak::checker {
namespace {

Result NotAttached(const char* what) { return Result::Error(ResultCode::kInvalidArgument, what); }

}  // namespace

uint32_t CheckEngine::HeaderField(uint32_t offset) const { return LoadLe32(header_ + offset); }

void CheckEngine::SetHeaderField(uint32_t offset, uint32_t value) {
  StoreLe32(header_ + offset, value);
}

uint32_t CheckEngine::AudioClusters() const { return HeaderField(format::kAudioClustersOffset); }

uint32_t CheckEngine::CdAreaFirstCluster() const {
  if (HeaderField(format::kCdCountOffset) == 0) return UINT32_MAX;
  const uint32_t cd_cluster = HeaderField(format::kCdStartOffset) / format::kSectorsPerCluster;
  const uint32_t audio_start = HeaderField(format::kAudioStartOffset);
  return cd_cluster > audio_start ? cd_cluster - audio_start : 0;
}

void CheckEngine::AttachHeader(uint8_t* header) {
  header_ = header;
  header_dirty_ = false;
}

Result CheckEngine::AttachCdSectors(uint8_t* image, size_t bytes) {
  if (header_ == nullptr) return NotAttached("no header is attached");
  const uint32_t count = HeaderField(format::kCdCountOffset);
  if (bytes / format::kSectorSize < count) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "the CD sector image is smaller than the header's CD count");
  }
  cd_image_ = image;
  cds_attached_ = true;
  cds_.assign(count, CdSlot{});
  cd_position_.resize(count);
  listing_cd_.assign(1, kGone);  // listing 0 is "none"
  listing_alive_.assign(1, 0);
  for (uint32_t i = 0; i < count; ++i) {
    CdSlot& slot = cds_[i];
    slot.id = i;
    cd_position_[i] = i;
    const uint32_t listed =
        std::min<uint32_t>(CdRecordBytes(i)[format::kCdTrackCountOffset], format::kMaxTracksPerCd);
    slot.tracks.resize(listed);
    for (TrackSlot& track : slot.tracks) {
      track.listing = uint32_t(listing_cd_.size());
      listing_cd_.push_back(i);
      listing_alive_.push_back(1);
    }
  }
  return Result::Ok();
}

Result CheckEngine::AttachFat(uint8_t* image, size_t bytes) {
  if (header_ == nullptr) return NotAttached("no header is attached");
  const uint64_t fat_sectors = HeaderField(format::kFatSectorsOffset);
  const uint64_t image_sectors = bytes / format::kSectorSize;
  if (image_sectors < fat_sectors) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "the FAT image is smaller than the header's FAT");
  }
  // Entries past 2^32 could never be addressed by a cluster number.
  const uint64_t entries =
      std::min<uint64_t>(image_sectors * format::kFatEntriesPerSector, UINT32_MAX);
  if (entries < AudioClusters()) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "the FAT image holds fewer entries than the audio area has clusters");
  }
  fat_ = image;
  fat_entries_ = uint32_t(entries);
  fat_dirty_.assign(size_t((uint64_t(fat_entries_) + format::kFatEntriesPerSector - 1) /
                           format::kFatEntriesPerSector),
                    0);
  fat_dirty_list_.clear();
  owners_.Reset(AudioClusters());
  return Result::Ok();
}

void CheckEngine::SetTrackRecord(uint32_t cd, uint32_t track, const uint8_t* record) {
  if (cd >= cds_.size() || track >= cds_[cd].tracks.size()) return;
  cds_[cd].tracks[track].record = record;
}

void CheckEngine::Release() {
  header_ = nullptr;
  header_dirty_ = false;
  cd_image_ = nullptr;
  cds_attached_ = false;
  cds_.clear();
  cds_.shrink_to_fit();
  cd_position_.clear();
  listing_cd_.clear();
  listing_alive_.clear();
  fat_ = nullptr;
  fat_entries_ = 0;
  fat_dirty_.clear();
  fat_dirty_.shrink_to_fit();
  fat_dirty_list_.clear();
  owners_.Release();
}

void CheckEngine::SetFatEntry(uint32_t cluster, uint32_t value) {
  if (cluster >= fat_entries_) return;
  StoreLe32(fat_ + size_t(cluster) * 4, value);
  const uint32_t sector = cluster / format::kFatEntriesPerSector;
  if (fat_dirty_[sector] == 0) {
    fat_dirty_[sector] = 1;
    fat_dirty_list_.push_back(sector);
  }
}

uint32_t CheckEngine::FatEntry(uint32_t cluster) const {
  return cluster < fat_entries_ ? LoadLe32(fat_ + size_t(cluster) * 4) : format::kFatFree;
}

uint32_t CheckEngine::cdCount() const {
  return header_ != nullptr ? HeaderField(format::kCdCountOffset) : 0;
}

uint32_t CheckEngine::cdStart() const {
  return header_ != nullptr ? HeaderField(format::kCdStartOffset) : 0;
}

uint32_t CheckEngine::trackCount(uint32_t cd) const {
  return cd < cds_.size() ? CdRecordBytes(cd)[format::kCdTrackCountOffset] : 0;
}

bool CheckEngine::fatSectorDirty(uint32_t sector) const {
  return sector < fat_dirty_.size() && fat_dirty_[sector] != 0;
}

bool CheckEngine::cdDirty(uint32_t cd) const { return cd < cds_.size() && cds_[cd].dirty; }

std::string CheckEngine::Album(uint32_t cd) const {
  return ReadTextField(CdRecordBytes(cd) + format::kCdAlbumOffset);
}

std::string CheckEngine::Title(const uint8_t* record) {
  return record != nullptr ? ReadTextField(record + format::kTrackTitleOffset) : std::string();
}

uint32_t CheckEngine::StartCluster(uint32_t cd, uint32_t track) const {
  return LoadLe32(CdRecordBytes(cd) + format::kCdStartClustersOffset + 4 * track);
}

void CheckEngine::Report(const char* format, ...) {
  if (sink_ == nullptr) return;
  // Album and title texts are at most 47 bytes, so a report always fits; a
  // longer one would be cut, never overrun.
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return;
  sink_->Message(std::string_view(buffer, std::min<size_t>(size_t(length), sizeof buffer - 1)));
}

}  // namespace jukepak::checker
