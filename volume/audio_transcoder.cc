#include "volume/audio_transcoder.h"

#include <algorithm>
#include <iterator>

namespace jukepak {

bool IsConversionBitrate(uint32_t kbps) {
  return std::find(std::begin(kConversionBitrates), std::end(kConversionBitrates), kbps) !=
         std::end(kConversionBitrates);
}

}  // namespace jukepak
