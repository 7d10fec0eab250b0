#include "volume/testing/volume_builder.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "format/format_constants.h"
#include "format/index_mark.h"
#include "format/layout.h"
#include "format/track_record.h"
#include "volume/space_accounting.h"

namespace jukepak::testing {
namespace {

Result NoSpace(const std::string& why) { return Result::Error(ResultCode::kNoSpace, why); }

uint64_t Fnv1a(const uint8_t* bytes, size_t size) {
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

// One mark per cluster, half a second apart, as many as the record holds.
void PlaceMarks(const std::vector<uint32_t>& chain, TrackRecord* record) {
  const uint32_t count = std::min<uint32_t>(uint32_t(chain.size()), format::kMaxIndexMarks);
  for (uint32_t i = 0; i < count; ++i) {
    EncodeIndexMark(IndexMarkAt(chain[i], i * 0.5), record->indexSlot(i));
  }
  EncodeIndexTerminator(record->indexSlot(count));
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
  QuietReporter quiet;
  PlayerVolume volume(&quiet);
  if (!volume.BindDevice(std::make_unique<ForwardingDevice>(device_)).ok()) {
    return Result::Error(ResultCode::kIoError, volume.bindError());
  }
  Result r = volume.RunJobNow(Job::kInit);
  if (!r.ok()) return r;
  header_ = volume.model().header;
  fat_ = volume.model().fat;
  next_free_ = volume.model().nextFreeCluster;
  return Result::Ok();
}

Result VolumeBuilder::Allocate(uint32_t clusters, std::vector<uint32_t>* chain) {
  const uint32_t limit = std::min(AllocatableClusterLimit(header_), fat_.entryCount());
  chain->clear();
  for (uint32_t c = next_free_; c < limit && chain->size() < clusters; ++c) {
    if (fat_.entry(c) == format::kFatFree) chain->push_back(c);
  }
  if (chain->size() < clusters) return NoSpace("the volume is full");
  for (size_t i = 0; i + 1 < chain->size(); ++i) fat_.set((*chain)[i], (*chain)[i + 1]);
  fat_.set(chain->back(), format::kFatEndOfChain);
  next_free_ = FirstFree(chain->back() + 1, limit);
  return Result::Ok();
}

uint32_t VolumeBuilder::FirstFree(uint32_t from, uint32_t limit) const {
  for (uint32_t c = from; c < limit; ++c) {
    if (fat_.entry(c) == format::kFatFree) return c;
  }
  return limit;
}

Result VolumeBuilder::FlushFat() {
  uint8_t sector[format::kSectorSize];
  for (uint32_t i = 0; i < fat_.sectorCount(); ++i) {
    if (!fat_.dirty(i)) continue;
    fat_.EncodeSector(i, sector);
    Result r = device_->Write(header_.fatStart() + i, 1, sector);
    if (!r.ok()) return r;
    fat_.clearDirty(i);
  }
  return Result::Ok();
}

Result VolumeBuilder::WriteSong(const SongContent& song, const std::vector<uint32_t>& chain) {
  TrackRecord record;
  record.StampSignature();
  record.setSize(uint32_t(song.audio.size() + format::kTrackRecordSize));
  record.setTitle(song.title);
  record.setArtist(song.artist);
  PlaceMarks(chain, &record);

  std::vector<uint8_t> bytes(chain.size() * format::kClusterSize, 0);
  std::copy(record.bytes().begin(), record.bytes().end(), bytes.begin());
  std::copy(song.audio.begin(), song.audio.end(), bytes.begin() + format::kTrackRecordSize);
  Result r = device_->Write(uint32_t(header_.ClusterSector(chain[0])), format::kTrackRecordSectors,
                            bytes.data());
  if (!r.ok()) return r;
  r = device_->Write(uint32_t(header_.ClusterSector(chain[0])) + format::kTrackRecordSectors,
                     format::kSectorsPerCluster - format::kTrackRecordSectors,
                     bytes.data() + format::kTrackRecordSize);
  for (size_t i = 1; r.ok() && i < chain.size(); ++i) {
    r = device_->Write(uint32_t(header_.ClusterSector(chain[i])), format::kSectorsPerCluster,
                       bytes.data() + i * format::kClusterSize);
  }
  return r;
}

Result VolumeBuilder::AddCd(const CdContent& content) {
  if (content.songs.size() > format::kMaxTracksPerCd) return NoSpace("more than 100 songs");
  if (header_.cdStart() == 0) header_.setCdStart(uint32_t(header_.AudioEndSector()));
  header_.setCdStart(header_.cdStart() - 1);
  header_.setCdCount(header_.cdCount() + 1);
  const uint32_t sector = header_.cdStart();
  const uint32_t record_cluster = sector / format::kSectorsPerCluster - header_.audioStart();
  if (fat_.entry(record_cluster) != format::kFatFree) {
    return NoSpace("a track uses the cluster the new CD record needs");
  }

  CdRecord record;
  record.StampSignature();
  record.setArtist(content.artist);
  record.setAlbum(content.album);
  for (const SongContent& song : content.songs) {
    std::vector<uint32_t> chain;
    Result r = Allocate(uint32_t(ClustersForAudio(song.audio.size())), &chain);
    if (!r.ok()) return r;
    r = WriteSong(song, chain);
    if (!r.ok()) return r;
    record.setStartCluster(record.trackCount(), chain[0]);
    record.setTrackCount(uint8_t(record.trackCount() + 1));
    r = FlushFat();
    if (r.ok()) r = device_->Write(sector, 1, record.data());
    if (r.ok()) r = device_->Write(0, format::kHeaderSectors, header_.data());
    if (!r.ok()) return r;
  }
  Result r = device_->Write(sector, 1, record.data());
  if (r.ok()) r = device_->Write(0, format::kHeaderSectors, header_.data());
  return r;
}

Result VolumeBuilder::AddLeftoverChain(uint32_t clusters, uint32_t* first) {
  std::vector<uint32_t> chain;
  Result r = Allocate(clusters, &chain);
  if (!r.ok()) return r;
  *first = chain[0];
  return FlushFat();
}

Result VolumeBuilder::SetFatEntry(uint32_t cluster, uint32_t value) {
  fat_.set(cluster, value);
  return FlushFat();
}

Result BuildVolume(SectorDevice* device, const std::vector<CdContent>& cds) {
  VolumeBuilder builder(device);
  Result r = builder.Format();
  for (auto cd = cds.rbegin(); r.ok() && cd != cds.rend(); ++cd) r = builder.AddCd(*cd);
  return r;
}

Result MountVolume(PlayerVolume& volume, SectorDevice* device) {
  if (!volume.BindDevice(std::make_unique<ForwardingDevice>(device)).ok()) {
    return Result::Error(ResultCode::kIoError, volume.bindError());
  }
  if (!volume.CheckVolume()) return Result::Error(ResultCode::kCorrupt, "no volume on the device");
  return volume.RunJobNow(Job::kMount);
}

std::string DescribeModel(const VolumeModel& model) {
  const VolumeHeader& h = model.header;
  std::string text = "header fat " + std::to_string(h.fatStart()) + "+" +
                     std::to_string(h.fatSectors()) + " audio " + std::to_string(h.audioStart()) +
                     "+" + std::to_string(h.audioClusters()) + " cds " +
                     std::to_string(h.cdStart()) + "+" + std::to_string(h.cdCount()) + " bytes " +
                     Hex(Fnv1a(h.data(), format::kHeaderSize)) + "\n";
  text += "nextFree " + std::to_string(model.nextFreeCluster) + " freeKB " +
          std::to_string(model.freeKilobytes) + " downloadKB " +
          std::to_string(model.downloadKilobytes) + "\n";
  for (const auto& cd : model.playerCds) {
    text += "cd " + std::to_string(cd->sector) + " '" + cd->record.artist() + "' '" +
            cd->record.album() + "' tracks " + std::to_string(cd->record.trackCount()) + " " +
            Hex(Fnv1a(cd->record.data(), format::kCdRecordSize)) + "\n";
    for (const auto& t : cd->tracks) {
      text += "  track " + std::to_string(t->firstCluster) + " '" + t->record.title() + "' '" +
              t->record.artist() + "' size " + std::to_string(t->record.size()) + " " +
              Hex(Fnv1a(t->record.data(), format::kTrackRecordSize)) + "\n";
    }
  }
  text += "fat";
  for (uint32_t c = 0; c < model.fat.entryCount(); ++c) {
    if (model.fat.entry(c) != format::kFatFree) {
      text += " " + std::to_string(c) + ">" + std::to_string(model.fat.entry(c));
    }
  }
  return text + "\n";
}

Result SaveImage(const MemoryDevice& device, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr) return Result::Error(ResultCode::kIoError, "cannot create " + path);
  const bool written =
      std::fwrite(device.bytes().data(), 1, device.bytes().size(), file) == device.bytes().size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) return Result::Error(ResultCode::kIoError, "cannot write " + path);
  return Result::Ok();
}

}  // namespace jukepak::testing
