#include "testing/volume_builder.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "format/format_constants.h"
#include "format/index_mark.h"
#include "format/layout.h"
#include "format/remote_code_table.h"

namespace jukepak::testing {
namespace {

Result Refused(const std::string& why) { return Result::Error(ResultCode::kInvalidArgument, why); }

// One mark per cluster, half a second apart, as many as the record holds.
void PlaceMarks(const std::vector<uint32_t>& chain, TrackRecord* record) {
  const uint32_t marks = std::min<uint32_t>(uint32_t(chain.size()), format::kMaxIndexMarks);
  for (uint32_t k = 0; k < marks; ++k) {
    EncodeIndexMark(IndexMarkAt(chain[k], k * 0.5), record->indexSlot(k));
  }
  EncodeIndexTerminator(record->indexSlot(marks));
}

}  // namespace

std::vector<uint8_t> TestAudio(size_t bytes, uint32_t seed) {
  std::vector<uint8_t> audio(bytes);
  uint32_t state = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < bytes; ++i) {
    state = state * 1103515245u + 12345u;
    audio[i] = uint8_t(state >> 16);
  }
  return audio;
}

Result VolumeBuilder::Format() {
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
  // The rest of the placeholder's first cluster is zeros, the sectors
  // between the FAT and the audio area filler.
  const std::array<uint8_t, format::kSectorSize> zero{};
  const uint32_t audio_first = layout.audioStart * format::kSectorsPerCluster;
  for (uint32_t k = 0; r.ok() && k < format::kPlaceholderZeroSectors; ++k) {
    r = device_->Write(audio_first + format::kTrackRecordSectors + k, 1, zero.data());
  }
  std::array<uint8_t, format::kSectorSize> filler;
  filler.fill(format::kFillerByte);
  for (uint32_t s = layout.fatStart + layout.fatSectors; r.ok() && s < audio_first; ++s) {
    r = device_->Write(s, 1, filler.data());
  }
  if (r.ok()) r = WriteFat();
  if (r.ok()) r = WriteHeader();
  return r;
}

Result VolumeBuilder::Load() {
  Result r = device_->QuerySectorCount(&sectors_);
  if (r.ok()) r = device_->Read(0, format::kHeaderSectors, header_.data());
  if (!r.ok()) return r;
  if (!header_.HasSignature()) return Result::Error(ResultCode::kCorrupt, "no volume header");
  std::vector<uint8_t> fat(size_t(header_.fatSectors()) * format::kSectorSize);
  r = device_->Read(header_.fatStart(), header_.fatSectors(), fat.data());
  if (!r.ok()) return r;
  fat_.Decode(fat.data(), header_.fatSectors());
  cds_.clear();
  tracks_.clear();
  for (uint32_t i = 0; i < header_.cdCount(); ++i) {
    CdEntry entry{next_id_++, CdRecord()};
    r = device_->Read(header_.cdStart() + i, 1, entry.record.data());
    if (!r.ok()) return r;
    for (uint32_t t = 0; t < entry.record.trackCount(); ++t) {
      const uint32_t start = entry.record.startCluster(t);
      if (start >= header_.audioClusters() || tracks_.count(start) != 0) continue;
      r = device_->Read(uint32_t(header_.ClusterSector(start)), format::kTrackRecordSectors,
                        tracks_[start].data());
      if (!r.ok()) return r;
    }
    cds_.push_back(entry);
  }
  next_free_ = 2;
  return Result::Ok();
}

size_t VolumeBuilder::Position(int id) const {
  for (size_t i = 0; i < cds_.size(); ++i) {
    if (cds_[i].id == id) return i;
  }
  return cds_.size();
}

uint32_t VolumeBuilder::cdIndex(int id) const { return uint32_t(Position(id)); }

CdRecord& VolumeBuilder::cd(int id) { return cds_[Position(id)].record; }

Result VolumeBuilder::WriteHeader() {
  return device_->Write(0, format::kHeaderSectors, header_.data());
}

Result VolumeBuilder::WriteFat() {
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

Result VolumeBuilder::WriteCd(int id) { return device_->Write(cdSector(id), 1, cd(id).data()); }

Result VolumeBuilder::WriteTrack(uint32_t start_cluster) {
  return device_->Write(uint32_t(header_.ClusterSector(start_cluster)), format::kTrackRecordSectors,
                        tracks_[start_cluster].data());
}

Result VolumeBuilder::AddCd(const std::string& album, const std::string& artist, int* id) {
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

Result VolumeBuilder::AddCd(const CdContent& content, int* id) {
  int made = 0;
  Result r = AddCd(content.album, content.artist, &made);
  for (size_t i = 0; r.ok() && i < content.songs.size(); ++i) r = AddSong(made, content.songs[i]);
  if (id != nullptr) *id = made;
  return r;
}

Result VolumeBuilder::Allocate(uint32_t clusters, std::vector<uint32_t>* chain) {
  const uint32_t limit = std::min(AllocatableClusterLimit(header_), fat_.entryCount());
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

Result VolumeBuilder::List(int id, const std::vector<uint32_t>& chain) {
  CdRecord& record = cd(id);
  record.setStartCluster(record.trackCount(), chain[0]);
  record.setTrackCount(uint8_t(record.trackCount() + 1));
  Result r = WriteFat();
  if (r.ok()) r = WriteCd(id);
  if (r.ok()) r = WriteHeader();
  return r;
}

Result VolumeBuilder::AddTrack(int id, const std::string& title, uint32_t clusters,
                               uint32_t* start) {
  if (cd(id).trackCount() >= format::kMaxTracksPerCd) return Refused("the CD is full");
  if (clusters == 0) return Refused("a track takes at least one cluster");
  std::vector<uint32_t> chain;
  Result r = Allocate(clusters, &chain);
  if (!r.ok()) return r;

  TrackRecord& track = tracks_[chain[0]];
  track = TrackRecord();
  track.StampSignature();
  // The most audio Songlift would put in this many clusters.
  const uint64_t room = clusters * uint64_t(format::kClusterSize);
  const uint64_t audio = room >= 10239 ? room - 10239 : 0;
  track.setSize(uint32_t(audio + format::kTrackRecordSize));
  track.setTitle(title);
  track.setArtist(cd(id).artist());
  PlaceMarks(chain, &track);
  if (start != nullptr) *start = chain[0];
  r = WriteTrack(chain[0]);
  if (r.ok()) r = List(id, chain);
  return r;
}

Result VolumeBuilder::AddSong(int id, const SongContent& song, uint32_t* start) {
  if (cd(id).trackCount() >= format::kMaxTracksPerCd) return Refused("the CD is full");
  std::vector<uint32_t> chain;
  Result r = Allocate(uint32_t(ClustersForAudio(song.audio.size())), &chain);
  if (!r.ok()) return r;

  TrackRecord& track = tracks_[chain[0]];
  track = TrackRecord();
  track.StampSignature();
  track.setSize(uint32_t(song.audio.size() + format::kTrackRecordSize));
  track.setTitle(song.title);
  track.setArtist(song.artist);
  PlaceMarks(chain, &track);
  if (start != nullptr) *start = chain[0];
  r = WriteTrack(chain[0]);
  if (r.ok()) r = WriteAudio(chain, song.audio);
  if (r.ok()) r = List(id, chain);
  return r;
}

// The audio follows the record in the first cluster and fills the chain's
// clusters in order; the rest of the last cluster is zeros.
Result VolumeBuilder::WriteAudio(const std::vector<uint32_t>& chain,
                                 const std::vector<uint8_t>& audio) {
  std::vector<uint8_t> bytes(chain.size() * format::kClusterSize, 0);
  std::copy(audio.begin(), audio.end(), bytes.begin() + format::kTrackRecordSize);
  Result r = device_->Write(uint32_t(header_.ClusterSector(chain[0])) + format::kTrackRecordSectors,
                            format::kSectorsPerCluster - format::kTrackRecordSectors,
                            bytes.data() + format::kTrackRecordSize);
  for (size_t i = 1; r.ok() && i < chain.size(); ++i) {
    r = device_->Write(uint32_t(header_.ClusterSector(chain[i])), format::kSectorsPerCluster,
                       bytes.data() + i * format::kClusterSize);
  }
  return r;
}

Result VolumeBuilder::AddLeftoverChain(uint32_t clusters, uint32_t* first) {
  std::vector<uint32_t> chain;
  Result r = Allocate(clusters, &chain);
  if (!r.ok()) return r;
  *first = chain[0];
  return WriteFat();
}

Result VolumeBuilder::SetFatEntry(uint32_t cluster, uint32_t value) {
  fat_.set(cluster, value);
  return WriteFat();
}

std::vector<uint32_t> VolumeBuilder::Chain(uint32_t start) const {
  std::vector<uint32_t> chain;
  for (uint32_t c = start; c < header_.audioClusters() && chain.size() < header_.audioClusters();
       c = fat_.entry(c)) {
    chain.push_back(c);
  }
  return chain;
}

Result BuildVolume(SectorDevice* device, const std::vector<CdContent>& cds) {
  VolumeBuilder builder(device);
  Result r = builder.Format();
  for (auto cd = cds.rbegin(); r.ok() && cd != cds.rend(); ++cd) r = builder.AddCd(*cd);
  return r;
}

}  // namespace jukepak::testing
