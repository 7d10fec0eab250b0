#include "checker/testing/songlift_volume_builder.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "format/format_constants.h"
#include "format/index_mark.h"
#include "format/layout.h"
#include "format/remote_code_table.h"

namespace jukepak::checker::testing {
namespace {

Result Refused(const std::string& why) { return Result::Error(ResultCode::kInvalidArgument, why); }

}  // namespace

SongliftVolumeBuilder::SongliftVolumeBuilder(SectorDevice* device) : device_(device) {}

Result SongliftVolumeBuilder::Format() {
  Result r = device_->QuerySectorCount(&sectors_);
  if (!r.ok()) return r;
  VolumeLayout layout;
  r = ComputeLayout(sectors_, &layout);
  if (!r.ok()) return r;
  header_ = VolumeHeader();
  header_.StampSignatureAndBanner();
  header_.setFatStart(layout.fatStart);
  header_.setFatSectors(layout.fatSectors);
  header_.setAudioStart(layout.audioStart);
  header_.setAudioClusters(layout.audioClusters);
  for (uint32_t slot = 0; slot < format::kDefaultRemoteEntries; ++slot) {
    header_.setRemoteEntry(slot, DefaultRemoteEntry(slot));
  }
  fat_.Reset(layout.fatSectors);
  for (uint32_t s = 0; s < layout.fatSectors; ++s) fat_.markDirty(s);
  fat_.set(0, 1);
  fat_.set(1, format::kFatEndOfChain);
  cds_.clear();
  tracks_.clear();
  next_free_ = 2;

  TrackRecord& placeholder = tracks_[0];
  placeholder.StampSignature();
  placeholder.setSize(format::kPlaceholderSize);
  placeholder.setTitle(format::kPlaceholderTitle);
  placeholder.data()[133] = placeholder.data()[134] = placeholder.data()[135] = 0xFF;
  r = WriteTrack(0);
  if (r.ok()) r = WriteFat();
  if (r.ok()) r = WriteHeader();
  return r;
}

size_t SongliftVolumeBuilder::Position(int id) const {
  for (size_t i = 0; i < cds_.size(); ++i) {
    if (cds_[i].id == id) return i;
  }
  return cds_.size();
}

uint32_t SongliftVolumeBuilder::cdIndex(int id) const { return uint32_t(Position(id)); }

CdRecord& SongliftVolumeBuilder::cd(int id) { return cds_[Position(id)].record; }

Result SongliftVolumeBuilder::WriteHeader() { return device_->Write(0, 2, header_.data()); }

Result SongliftVolumeBuilder::WriteFat() {
  std::array<uint8_t, format::kSectorSize> bytes;
  for (uint32_t s = 0; s < fat_.sectorCount(); ++s) {
    if (!fat_.dirty(s)) continue;
    fat_.EncodeSector(s, bytes.data());
    Result r = device_->Write(header_.fatStart() + s, 1, bytes.data());
    if (!r.ok()) return r;
    fat_.clearDirty(s);
  }
  return Result::Ok();
}

Result SongliftVolumeBuilder::WriteCd(int id) {
  return device_->Write(cdSector(id), 1, cd(id).data());
}

Result SongliftVolumeBuilder::WriteTrack(uint32_t start_cluster) {
  return device_->Write(uint32_t(header_.ClusterSector(start_cluster)), format::kTrackRecordSectors,
                        tracks_[start_cluster].data());
}

Result SongliftVolumeBuilder::AddCd(const std::string& album, const std::string& artist, int* id) {
  const uint32_t start =
      header_.cdStart() == 0 ? uint32_t(header_.AudioEndSector()) - 1 : header_.cdStart() - 1;
  const uint32_t cluster = start / format::kSectorsPerCluster - header_.audioStart();
  if (cluster < 2 || fat_.entry(cluster) != format::kFatFree) {
    return Refused("no room for another CD record");
  }
  CdEntry entry{next_id_++, CdRecord()};
  entry.record.StampSignature();
  entry.record.setAlbum(album);
  entry.record.setArtist(artist);
  cds_.insert(cds_.begin(), entry);
  header_.setCdStart(start);
  header_.setCdCount(header_.cdCount() + 1);
  *id = entry.id;
  Result r = WriteCd(entry.id);
  if (r.ok()) r = WriteHeader();
  return r;
}

Result SongliftVolumeBuilder::Allocate(uint32_t clusters, std::vector<uint32_t>* chain) {
  const uint32_t limit = AllocatableClusterLimit(header_);
  chain->clear();
  uint32_t c = next_free_;
  while (chain->size() < clusters && c < limit) {
    if (fat_.entry(c) == format::kFatFree) chain->push_back(c);
    ++c;
  }
  if (chain->size() < clusters) return Result::Error(ResultCode::kNoSpace, "the volume is full");
  next_free_ = c;
  for (size_t i = 0; i < chain->size(); ++i) {
    fat_.set((*chain)[i], i + 1 < chain->size() ? (*chain)[i + 1] : format::kFatEndOfChain);
  }
  return Result::Ok();
}

Result SongliftVolumeBuilder::AddTrack(int id, const std::string& title, uint32_t clusters,
                                       uint32_t* start) {
  CdRecord& record = cd(id);
  if (record.trackCount() >= format::kMaxTracksPerCd) return Refused("the CD is full");
  if (clusters == 0) return Refused("a track takes at least one cluster");
  std::vector<uint32_t> chain;
  Result r = Allocate(clusters, &chain);
  if (!r.ok()) return r;

  TrackRecord& track = tracks_[chain[0]];
  track = TrackRecord();
  track.StampSignature();
  const uint64_t audio = clusters * uint64_t(format::kClusterSize) >= 10239
                             ? clusters * uint64_t(format::kClusterSize) - 10239
                             : 0;
  track.setSize(uint32_t(audio + format::kTrackRecordSize));
  track.setTitle(title);
  track.setArtist(record.artist());
  const uint32_t marks = std::min<uint32_t>(clusters, format::kMaxIndexMarks);
  for (uint32_t k = 0; k < marks; ++k) {
    EncodeIndexMark(IndexMarkAt(chain[k], k * 0.5), track.indexSlot(k));
  }
  EncodeIndexTerminator(track.indexSlot(marks));

  record.setStartCluster(record.trackCount(), chain[0]);
  record.setTrackCount(uint8_t(record.trackCount() + 1));
  if (start != nullptr) *start = chain[0];
  r = WriteTrack(chain[0]);
  if (r.ok()) r = WriteFat();
  if (r.ok()) r = WriteCd(id);
  if (r.ok()) r = WriteHeader();
  return r;
}

std::vector<uint32_t> SongliftVolumeBuilder::Chain(uint32_t start) const {
  std::vector<uint32_t> chain;
  for (uint32_t c = start; c < header_.audioClusters() && chain.size() < header_.audioClusters();
       c = fat_.entry(c)) {
    chain.push_back(c);
  }
  return chain;
}

Result SongliftVolumeBuilder::DeleteTrack(int id, uint32_t track) {
  CdRecord& record = cd(id);
  if (track >= record.trackCount()) return Refused("no such track");
  const uint32_t first = record.startCluster(track);
  uint32_t count = record.trackCount();
  for (uint32_t i = 0; i < count;) {
    if (record.startCluster(i) == first) {
      record.RemoveStartCluster(i, count);
      --count;
    } else {
      ++i;
    }
  }
  record.setTrackCount(uint8_t(count));
  Result r = WriteCd(id);
  if (!r.ok()) return r;
  for (uint32_t c : Chain(first)) fat_.set(c, format::kFatFree);
  next_free_ = std::min(next_free_, first);
  tracks_.erase(first);
  r = WriteFat();
  if (r.ok() && count == 0) r = DeleteCd(id);
  return r;
}

Result SongliftVolumeBuilder::DeleteCd(int id) {
  const size_t at = Position(id);
  if (at == cds_.size()) return Refused("no such CD");
  // Every record below the deleted one moves one sector up, nearest first.
  for (size_t k = at; k-- > 0;) {
    Result r = device_->Write(header_.cdStart() + uint32_t(k) + 1, 1, cds_[k].record.data());
    if (!r.ok()) return r;
  }
  cds_.erase(cds_.begin() + std::ptrdiff_t(at));
  header_.setCdCount(header_.cdCount() - 1);
  header_.setCdStart(header_.cdCount() != 0 ? header_.cdStart() + 1 : 0);
  return WriteHeader();
}

Result SongliftVolumeBuilder::DeleteCdAndTracks(int id) {
  if (Position(id) == cds_.size()) return Refused("no such CD");
  const uint32_t tracks = cd(id).trackCount();
  if (tracks == 0) return DeleteCd(id);
  for (uint32_t n = 0; n < tracks; ++n) {
    Result r = DeleteTrack(id, 0);
    if (!r.ok()) return r;
  }
  return Result::Ok();
}

Result SongliftVolumeBuilder::MoveTrack(int from, uint32_t track, int to, uint32_t at) {
  CdRecord& source = cd(from);
  CdRecord& target = cd(to);
  if (from == to || track >= source.trackCount()) return Refused("no such move");
  if (target.trackCount() >= format::kMaxTracksPerCd) return Refused("the target CD is full");
  const uint32_t first = source.startCluster(track);
  source.RemoveStartCluster(track, source.trackCount());
  source.setTrackCount(uint8_t(source.trackCount() - 1));
  const uint32_t index = std::min<uint32_t>(at, target.trackCount());
  target.InsertStartCluster(index, target.trackCount(), first);
  target.setTrackCount(uint8_t(target.trackCount() + 1));
  Result r = WriteCd(to);
  if (r.ok()) r = WriteCd(from);
  return r;
}

}  // namespace jukepak::checker::testing
