// The ID3v1 and ID3v2 readers over arbitrary bytes: no crash, texts within
// their fields, and an ID3v2 length that never runs past the input.

#include <cstdlib>
#include <span>
#include <vector>

#include "volume/id3_tags.h"

using namespace jukepak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  if (Id3v2TagLength(std::span<const uint8_t>(bytes)) > size) std::abort();
  if (size >= kId3v1Size) {
    Id3v1Tag tag;
    std::span<const uint8_t, kId3v1Size> block(bytes.data() + size - kId3v1Size, kId3v1Size);
    if (ParseId3v1(block, &tag)) {
      if (tag.title.size() > 30 || tag.artist.size() > 30 || tag.album.size() > 30) std::abort();
    }
  }
  (void)TrimTagField(std::span<const uint8_t>(bytes));
  return 0;
}
