#include "base/latin1.h"
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

}  // namespace jukepak
