// CdRecord: one CD of the directory, a 512-byte sector: "MPCD", the track
// count, album and artist texts, and the start clusters of up to 100 tracks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_order.h"
#include "format/format_constants.h"

namespace jukepak {

class CdRecord {
 public:
  using Bytes = std::array<uint8_t, format::kCdRecordSize>;

  CdRecord() { bytes_.fill(0); }

  Bytes& bytes() { return bytes_; }
  const Bytes& bytes() const { return bytes_; }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }

  bool HasSignature() const;
  void StampSignature();

  uint8_t trackCount() const { return bytes_[format::kCdTrackCountOffset]; }
  void setTrackCount(uint8_t count) { bytes_[format::kCdTrackCountOffset] = count; }

  // 8-bit (Latin-1) texts; setters cut to 47 bytes.
  std::string album() const;
  std::string artist() const;
  void setAlbum(std::string_view latin1);
  void setArtist(std::string_view latin1);

  // Slot 0..99 of the start-cluster list.
  uint32_t startCluster(uint32_t slot) const {
    return LoadLe32(bytes_.data() + format::kCdStartClustersOffset + 4 * slot);
  }
  void setStartCluster(uint32_t slot, uint32_t cluster) {
    StoreLe32(bytes_.data() + format::kCdStartClustersOffset + 4 * slot, cluster);
  }

  // Moves slots from..count-2 down over `from` (closing the gap at `from`) and
  // zeroes slot count-1. Requires from < count <= 100.
  void RemoveStartCluster(uint32_t from, uint32_t count);
  // Moves slots at..count-1 up by one and stores `cluster` at `at`.
  // Requires at <= count < 100.
  void InsertStartCluster(uint32_t at, uint32_t count, uint32_t cluster);

 private:
  Bytes bytes_;
};

}  // namespace jukepak
