#include "volume/track_export.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "format/format_constants.h"

namespace jukepak {
namespace {

constexpr uint32_t kTagTitleOffset = 3;
constexpr uint32_t kTagArtistOffset = 33;
constexpr uint32_t kTagAlbumOffset = 63;
constexpr uint32_t kTagFieldSize = 30;
constexpr uint32_t kTagTrackZeroOffset = 125;
constexpr uint32_t kTagTrackOffset = 126;
constexpr uint32_t kTagGenreOffset = 127;
constexpr uint8_t kNoGenre = 255;

void PutTagField(Id3v1TagBytes& tag, uint32_t offset, const std::string& text) {
  std::memcpy(tag.data() + offset, text.data(), std::min<size_t>(text.size(), kTagFieldSize));
}

Result Corrupt(const std::string& why) { return Result::Error(ResultCode::kCorrupt, why); }

// The first `count` clusters of the chain from `first`.
Result ChainClusters(const VolumeModel& model, uint32_t first, uint32_t count,
                     std::vector<uint32_t>* clusters) {
  const uint32_t n = std::min(model.header.audioClusters(), model.fat.entryCount());
  std::vector<bool> seen(n, false);
  uint32_t c = first;
  for (uint32_t k = 0; k < count; ++k) {
    if (c >= n) return Corrupt("the track's chain leaves the audio area");
    if (seen[c]) return Corrupt("the track's chain loops");
    seen[c] = true;
    const uint32_t entry = model.fat.entry(c);
    if (entry == format::kFatFree) return Corrupt("the track's chain runs into a free cluster");
    clusters->push_back(c);
    if (k + 1 < count && entry == format::kFatEndOfChain) {
      return Corrupt("the track's chain ends before its last audio byte");
    }
    c = entry;
  }
  return Result::Ok();
}

}  // namespace

Id3v1TagBytes BuildId3v1Tag(const std::string& title, const std::string& artist,
                           const std::string& album, uint32_t track_number) {
  Id3v1TagBytes tag{};
  std::memcpy(tag.data(), "TAG", 3);
  PutTagField(tag, kTagTitleOffset, title);
  PutTagField(tag, kTagArtistOffset, artist);
  PutTagField(tag, kTagAlbumOffset, album);
  if (track_number > 0 && track_number <= 255) {
    tag[kTagTrackZeroOffset] = 0;
    tag[kTagTrackOffset] = uint8_t(track_number);
  }
  tag[kTagGenreOffset] = kNoGenre;
  return tag;
}

Result ReadTrackAudio(PlayerVolume& volume, const TrackNode& track, std::vector<uint8_t>* audio,
                      const ReadProgress& progress) {
  audio->clear();
  if (volume.device() == nullptr) return Result::Error(ResultCode::kIoError, "no driver is bound");
  const TrackRecord& record = track.record;
  if (!record.HasSignature()) return Corrupt("the track's record is damaged");
  if (record.size() < format::kTrackRecordSize) return Corrupt("the track's size is damaged");
  // Checked before anything is allocated: a damaged size cannot ask for more
  // than the audio area holds, and the chain must hold the whole track.
  const uint64_t track_bytes = record.size();
  const uint64_t clusters = (track_bytes + format::kClusterSize - 1) / format::kClusterSize;
  if (clusters > volume.model().header.audioClusters()) {
    return Corrupt("the track's size is larger than the audio area");
  }
  std::vector<uint32_t> chain;
  Result r = ChainClusters(volume.model(), track.firstCluster, uint32_t(clusters), &chain);
  if (!r.ok()) return r;

  std::vector<uint8_t> bytes(chain.size() * format::kClusterSize);
  for (size_t k = 0; k < chain.size(); ++k) {
    r = volume.device()->Read(uint32_t(volume.model().header.ClusterSector(chain[k])),
                              format::kSectorsPerCluster, bytes.data() + k * format::kClusterSize);
    if (!r.ok()) return r;
    if (progress && !progress(uint32_t(k + 1), uint32_t(chain.size()))) {
      return Result::Error(ResultCode::kCancelled, "the copy was cancelled");
    }
  }
  audio->assign(bytes.begin() + format::kTrackRecordSize, bytes.begin() + track_bytes);
  return Result::Ok();
}

Result ExportTrack(PlayerVolume& volume, const CdNode& cd, uint32_t slot, const std::string& path) {
  if (slot >= cd.tracks.size()) {
    return Result::Error(ResultCode::kInvalidArgument, "the CD has no track at that place");
  }
  std::vector<uint8_t> audio;
  const Result r = ReadTrackAudio(volume, *cd.tracks[slot], &audio);
  if (!r.ok()) return r;
  return WriteExportFile(cd, slot, audio, *volume.media().tagWriter, path);
}

Result WriteExportFile(const CdNode& cd, uint32_t slot, std::span<const uint8_t> audio,
                       TagWriter& writer, const std::string& path) {
  const TrackNode& track = *cd.tracks[slot];
  const Id3v1TagBytes tag =
      BuildId3v1Tag(track.record.title(), track.record.artist(), cd.record.album(), slot + 1);

  std::FILE* file = std::fopen(path.c_str(), "wbx");  // x: never replace a file
  if (file == nullptr) {
    if (errno == EEXIST) return Result::Error(ResultCode::kBusy, path + " exists already");
    return Result::Error(ResultCode::kIoError,
                         "cannot create " + path + ": " + std::strerror(errno));
  }
  // An empty track has no buffer to hand to fwrite; its file is the tag alone.
  const bool written =
      (audio.empty() || std::fwrite(audio.data(), 1, audio.size(), file) == audio.size()) &&
      std::fwrite(tag.data(), 1, tag.size(), file) == tag.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(path.c_str());
    return Result::Error(ResultCode::kIoError, "cannot write " + path);
  }
  const ExportTags texts{track.record.title(), track.record.artist(), cd.record.album(),
                         cd.record.artist(), slot + 1};
  const Result r = writer.Write(path, texts);
  if (!r.ok()) std::remove(path.c_str());
  return r;
}

}  // namespace jukepak
