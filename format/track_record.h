// TrackRecord: the 1024 bytes at the start of a track's first cluster:
// "MPTK", the size (audio bytes + 1024), title and artist texts and up to 178
// index marks followed by a terminator.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_order.h"
#include "format/format_constants.h"

namespace jukepak {

class TrackRecord {
 public:
  using Bytes = std::array<uint8_t, format::kTrackRecordSize>;

  TrackRecord() { bytes_.fill(0); }

  Bytes& bytes() { return bytes_; }
  const Bytes& bytes() const { return bytes_; }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }

  bool HasSignature() const;
  void StampSignature();

  // The size field. On the player it holds audio bytes + 1024; while a song
  // is pending it holds the audio bytes alone.
  uint32_t size() const { return LoadLe32(bytes_.data() + format::kTrackSizeOffset); }
  void setSize(uint32_t size) { StoreLe32(bytes_.data() + format::kTrackSizeOffset, size); }

  std::string title() const;
  std::string artist() const;
  void setTitle(std::string_view latin1);
  void setArtist(std::string_view latin1);

  // The 5 bytes of index-mark slot 0..178.
  uint8_t* indexSlot(uint32_t slot) {
    return bytes_.data() + format::kIndexMarksOffset + format::kIndexMarkSize * slot;
  }
  const uint8_t* indexSlot(uint32_t slot) const {
    return bytes_.data() + format::kIndexMarksOffset + format::kIndexMarkSize * slot;
  }
  // Number of marks before the first terminator among the 179 slots, or -1
  // when no slot is a terminator.
  int CountIndexMarks() const;

 private:
  Bytes bytes_;
};

}  // namespace jukepak
