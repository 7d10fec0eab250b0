#include "format/cd_record.h"

#include <cstring>

#include "format/text_field.h"

namespace jukepak {

bool CdRecord::HasSignature() const {
  return std::memcmp(bytes_.data(), format::kCdSignature, 4) == 0;
}

void CdRecord::StampSignature() { std::memcpy(bytes_.data(), format::kCdSignature, 4); }

std::string CdRecord::album() const { return ReadTextField(bytes_.data() + format::kCdAlbumOffset); }

std::string CdRecord::artist() const {
  return ReadTextField(bytes_.data() + format::kCdArtistOffset);
}

void CdRecord::setAlbum(std::string_view latin1) {
  WriteTextField(bytes_.data() + format::kCdAlbumOffset, latin1);
}

void CdRecord::setArtist(std::string_view latin1) {
  WriteTextField(bytes_.data() + format::kCdArtistOffset, latin1);
}

void CdRecord::RemoveStartCluster(uint32_t from, uint32_t count) {
  for (uint32_t i = from; i + 1 < count; ++i) setStartCluster(i, startCluster(i + 1));
  if (count > 0) setStartCluster(count - 1, 0);
}

void CdRecord::InsertStartCluster(uint32_t at, uint32_t count, uint32_t cluster) {
  for (uint32_t i = count; i > at; --i) setStartCluster(i, startCluster(i - 1));
  setStartCluster(at, cluster);
}

}  // namespace jukepak
