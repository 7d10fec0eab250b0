// The engine's own readers of tag and text bytes over arbitrary input: no
// crash, an ID3v2 length that never runs past the input, tag numbers within
// their range, and a UTF-8 length that never runs past the input.

#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "base/player_text.h"
#include "volume/id3_tags.h"
#include "volume/song_tags.h"

using namespace jukepak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  if (Id3v2TagLength(std::span<const uint8_t>(bytes)) > size) std::abort();
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (ParseTagNumber(text) > kMaxTagNumber) std::abort();
  const size_t utf8 = Utf8LengthCutAtEnd(text);
  if (utf8 != std::string_view::npos && utf8 > size) std::abort();
  if (PlayerFieldFromUtf8(text).size() > 47) std::abort();
  return 0;
}
