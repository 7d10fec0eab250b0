#include "format/track_record.h"

#include <cstring>

#include "format/text_field.h"

namespace jukepak {

bool TrackRecord::HasSignature() const {
  return std::memcmp(bytes_.data(), format::kTrackSignature, 4) == 0;
}

void TrackRecord::StampSignature() { std::memcpy(bytes_.data(), format::kTrackSignature, 4); }

std::string TrackRecord::title() const {
  return ReadTextField(bytes_.data() + format::kTrackTitleOffset);
}

std::string TrackRecord::artist() const {
  return ReadTextField(bytes_.data() + format::kTrackArtistOffset);
}

void TrackRecord::setTitle(std::string_view latin1) {
  WriteTextField(bytes_.data() + format::kTrackTitleOffset, latin1);
}

void TrackRecord::setArtist(std::string_view latin1) {
  WriteTextField(bytes_.data() + format::kTrackArtistOffset, latin1);
}

int TrackRecord::CountIndexMarks() const {
  for (uint32_t slot = 0; slot < format::kIndexMarkSlots; ++slot) {
    if (indexSlot(slot)[2] == format::kIndexTerminatorByte) return int(slot);
  }
  return -1;
}

}  // namespace jukepak
