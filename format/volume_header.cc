#include "format/volume_header.h"

#include <cstring>

#include "format/text_field.h"

namespace jukepak {

bool VolumeHeader::HasSignature() const {
  return std::memcmp(bytes_.data(), format::kVolumeSignature, 4) == 0;
}

void VolumeHeader::StampSignatureAndBanner() {
  std::memcpy(bytes_.data(), format::kVolumeSignature, 4);
  WriteTextField(bytes_.data() + format::kBannerOffset, format::kBanner, format::kBannerFieldSize);
}

std::string VolumeHeader::banner() const {
  return ReadTextField(bytes_.data() + format::kBannerOffset, format::kBannerFieldSize);
}

}  // namespace jukepak
