// The engine's state: attaching and releasing the images, the header's
// fields, FAT entries and the names a problem's text gives.

#include "checker/check_engine.h"

#include <algorithm>

#include "base/byte_order.h"
#include "base/latin1.h"
#include "format/format_constants.h"
#include "format/layout.h"
#include "format/text_field.h"

namespace jukepak::checker {
namespace {

Result NotAttached(const char* what) { return Result::Error(ResultCode::kInvalidArgument, what); }

}  // namespace

uint32_t MinimumVolumeSectors() {
  // The layout grows with the drive, so the first size it accepts is the
  // smallest; a FAT of one sector serves every drive this small.
  uint32_t n = 0;
  VolumeLayout layout;
  while (!ComputeLayout(n, &layout).ok()) ++n;
  return n;
}

CheckMode CheckEngine::mode() const {
  if (writer_ == nullptr) return CheckMode::kDryRun;
  return choice_ != nullptr ? CheckMode::kAsk : CheckMode::kRepair;
}

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

uint32_t CheckEngine::AllocationLimit() const {
  return std::min({AudioClusters(), CdAreaFirstCluster(), format::kTrackClusterBound});
}

void CheckEngine::AttachHeader(uint8_t* header) {
  if (header != header_) header_dirty_ = false;
  header_ = header;
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
  dirty_cds_.clear();
  removed_cds_ = 0;
  listings_.assign(2, Listing{});  // none, and the placeholder
  listings_[kPlaceholderListing].alive = true;
  listings_[kPlaceholderListing].terminated = true;
  edited_records_.clear();
  dirty_records_.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t listed =
        std::min<uint32_t>(CdRecordBytes(i)[format::kCdTrackCountOffset], format::kMaxTracksPerCd);
    for (uint32_t j = 0; j < listed; ++j) {
      cds_[i].listings.push_back(uint32_t(listings_.size()));
      Listing listing;
      listing.cd = i;
      listing.alive = true;
      listings_.push_back(listing);
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
  if (cd >= cds_.size() || track >= cds_[cd].listings.size()) return;
  listings_[cds_[cd].listings[track]].record = record;
}

void CheckEngine::Release() {
  header_ = nullptr;
  header_dirty_ = false;
  cd_image_ = nullptr;
  cds_attached_ = false;
  cds_.clear();
  cds_.shrink_to_fit();
  dirty_cds_.clear();
  removed_cds_ = 0;
  listings_.clear();
  listings_.shrink_to_fit();
  edited_records_.clear();
  dirty_records_.clear();
  pending_copies_.clear();
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
  return Utf8FromLatin1(ReadTextField(CdRecordBytes(cd) + format::kCdAlbumOffset));
}

std::string CheckEngine::Title(uint32_t listing) const {
  const uint8_t* record = listings_[listing].record;
  return record != nullptr ? Utf8FromLatin1(ReadTextField(record + format::kTrackTitleOffset))
                           : std::string();
}

uint32_t CheckEngine::TrackSize(uint32_t listing) const {
  const uint8_t* record = listings_[listing].record;
  return record != nullptr ? LoadLe32(record + format::kTrackSizeOffset) : 0;
}

uint32_t CheckEngine::StartCluster(uint32_t cd, uint32_t track) const {
  return LoadLe32(CdRecordBytes(cd) + format::kCdStartClustersOffset + 4 * track);
}

uint32_t CheckEngine::TrackIndex(uint32_t listing) const {
  const std::vector<uint32_t>& tracks = cds_[listings_[listing].cd].listings;
  return uint32_t(std::find(tracks.begin(), tracks.end(), listing) - tracks.begin());
}

ProblemDetails CheckEngine::Names(uint32_t listing) const {
  ProblemDetails d;
  d.album = Album(listings_[listing].cd);
  d.title = Title(listing);
  d.track = TrackIndex(listing) + 1;
  return d;
}

Result CheckEngine::Poll() {
  if (poll_ != nullptr && poll_->StopRequested()) {
    return Result::Error(ResultCode::kCancelled, "the check was stopped");
  }
  return Result::Ok();
}

Result CheckEngine::PollEvery(uint32_t cluster) {
  // Often enough to stop at once, rarely enough to cost nothing.
  return cluster % 65536 == 65535 ? Poll() : Result::Ok();
}

}  // namespace jukepak::checker
