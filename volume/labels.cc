#include <algorithm>

#include "base/latin1.h"
#include "volume/pending_list.h"
#include "volume/space_accounting.h"
#include "volume/volume_model.h"

namespace jukepak {
namespace {

std::string CutToLabel(std::string latin1) {
  if (latin1.size() > format::kLabelLimit) latin1.resize(format::kLabelLimit);
  return Utf8FromLatin1(latin1);
}

}  // namespace

std::string CdLabel(const CdRecord& record) {
  return CutToLabel(record.artist() + " / " + record.album());
}

std::string TrackLabel(const TrackRecord& track, const std::string& cd_artist_latin1) {
  const std::string artist = track.artist();
  if (artist == cd_artist_latin1) return CutToLabel(track.title());
  return CutToLabel(artist + " / " + track.title());
}

std::string PendingSongLabel(const TrackNode& song, const std::string& cd_artist_latin1) {
  std::string label = TrackLabel(song.record, cd_artist_latin1);
  if (!song.needsConversion) return label;
  const uint64_t kb = std::min<uint64_t>(SongKilobytes(song.record.size()), 0xFFFFFFFFu);
  return label + "  (~" + SizeLabelText(uint32_t(kb)) + ", estimated)";
}

}  // namespace jukepak
