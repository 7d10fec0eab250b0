// ReinitializeVolume: a fresh, empty volume over the whole drive, for a header
// beyond repair.
//
// Sector 0 is zeroed first, so that the old signature is gone before anything
// else changes, and the new header is written last: a cut at any point leaves
// a drive that is offered for reinitializing again, never a valid-looking
// header over a half-written FAT. Every write is checked and the first that
// fails ends the operation with the code of its step.

#include <array>
#include <cstring>
#include <string>

#include "base/byte_order.h"
#include "checker/check_engine.h"
#include "format/format_constants.h"
#include "format/layout.h"
#include "format/text_field.h"

namespace jukepak::checker {
namespace {

using Sector = std::array<uint8_t, format::kSectorSize>;

constexpr char kPlaceholderTitle[] = "Empty Trk";
// The remote-control entries 0..99 (header bytes 512..911) survive.
constexpr uint32_t kKeptRemoteBytes = format::kDefaultRemoteEntries * 4;

std::array<uint8_t, format::kHeaderSize> NewHeader(const VolumeLayout& layout,
                                                   const uint8_t* old_header) {
  std::array<uint8_t, format::kHeaderSize> h{};
  std::memcpy(h.data(), format::kVolumeSignature, 4);
  WriteTextField(h.data() + format::kBannerOffset, format::kBanner, format::kBannerFieldSize);
  StoreLe32(h.data() + format::kFatStartOffset, layout.fatStart);
  StoreLe32(h.data() + format::kFatSectorsOffset, layout.fatSectors);
  StoreLe32(h.data() + format::kAudioStartOffset, layout.audioStart);
  StoreLe32(h.data() + format::kAudioClustersOffset, layout.audioClusters);
  if (old_header != nullptr) {
    std::memcpy(h.data() + format::kRemoteTableOffset, old_header + format::kRemoteTableOffset,
                kKeptRemoteBytes);
  }
  return h;
}

Sector FatSector(bool first) {
  Sector s;
  for (uint32_t i = 0; i < format::kFatEntriesPerSector; ++i) {
    StoreLe32(s.data() + 4 * i, format::kFatFree);
  }
  if (first) {  // the placeholder's chain: 0 -> 1 -> end
    StoreLe32(s.data(), 1);
    StoreLe32(s.data() + 4, format::kFatEndOfChain);
  }
  return s;
}

std::array<uint8_t, format::kTrackRecordSize> PlaceholderRecord() {
  std::array<uint8_t, format::kTrackRecordSize> r{};
  std::memcpy(r.data(), format::kTrackSignature, 4);
  StoreLe32(r.data() + format::kTrackSizeOffset, format::kPlaceholderSize);
  WriteTextField(r.data() + format::kTrackTitleOffset, kPlaceholderTitle);
  // Mark 0 names cluster 0 at 0:00.0; the next slot is the terminator.
  r[133] = r[134] = r[135] = 0xFF;
  return r;
}

}  // namespace

Result CheckEngine::ReinitializeVolume(ReinitOutcome* outcome) {
  *outcome = ReinitOutcome::kNoWriter;
  if (writer_ == nullptr) {
    return Result::Error(ResultCode::kInvalidArgument, "reinitializing needs a sector writer");
  }
  VolumeLayout layout;
  if (!ComputeLayout(sectors_, &layout).ok()) {
    *outcome = ReinitOutcome::kDriveTooSmall;
    return Result::Error(ResultCode::kInvalidArgument,
                         "the drive holds " + std::to_string(sectors_) +
                             " sectors; a volume needs at least " +
                             std::to_string(MinimumVolumeSectors()));
  }
  Result r;
  // Runs the writes of one step; on failure records the step.
  auto step = [&](ReinitOutcome failure, uint32_t sector, uint32_t count, const uint8_t* data) {
    r = writer_->WriteSectors(sector, count, data);
    if (!r.ok()) *outcome = failure;
    return r.ok();
  };
  const Sector zero{};
  if (!step(ReinitOutcome::kHeaderFailed, 0, 1, zero.data())) return r;

  const Sector fat_empty = FatSector(false);
  for (uint32_t i = 0; i < layout.fatSectors; ++i) {
    if (!step(ReinitOutcome::kFatFailed, layout.fatStart + i, 1, fat_empty.data())) return r;
  }
  Sector filler;
  filler.fill(format::kFillerByte);
  const uint32_t audio_first = layout.audioStart * format::kSectorsPerCluster;
  for (uint32_t s = layout.fatStart + layout.fatSectors; s < audio_first; ++s) {
    if (!step(ReinitOutcome::kFillerFailed, s, 1, filler.data())) return r;
  }
  const auto placeholder = PlaceholderRecord();
  if (!step(ReinitOutcome::kPlaceholderRecordFailed, audio_first, format::kTrackRecordSectors,
            placeholder.data())) {
    return r;
  }
  for (uint32_t k = 0; k < format::kPlaceholderZeroSectors; ++k) {
    if (!step(ReinitOutcome::kPlaceholderDataFailed, audio_first + format::kTrackRecordSectors + k,
              1, zero.data())) {
      return r;
    }
  }
  const Sector fat_first = FatSector(true);
  if (!step(ReinitOutcome::kFirstFatSectorFailed, layout.fatStart, 1, fat_first.data())) return r;

  const auto header = NewHeader(layout, header_);
  if (!step(ReinitOutcome::kHeaderFailed, 0, format::kHeaderSectors, header.data())) return r;
  *outcome = ReinitOutcome::kDone;
  return Result::Ok();
}

}  // namespace jukepak::checker
