// VolumeHeader: sectors 0 and 1 of the volume, kept as their 1024 bytes and
// read and written field by field in little-endian order. Sector 1 is the
// remote-control code table (see remote_code_table.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/byte_order.h"
#include "format/format_constants.h"

namespace jukepak {

class VolumeHeader {
 public:
  using Bytes = std::array<uint8_t, format::kHeaderSize>;

  VolumeHeader() { bytes_.fill(0); }

  Bytes& bytes() { return bytes_; }
  const Bytes& bytes() const { return bytes_; }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }

  bool HasSignature() const;
  // Writes "MPFS" and the banner.
  void StampSignatureAndBanner();
  std::string banner() const;

  uint32_t fatStart() const { return Get(format::kFatStartOffset); }
  uint32_t fatSectors() const { return Get(format::kFatSectorsOffset); }
  uint32_t audioStart() const { return Get(format::kAudioStartOffset); }
  uint32_t audioClusters() const { return Get(format::kAudioClustersOffset); }
  uint32_t cdStart() const { return Get(format::kCdStartOffset); }
  uint32_t cdCount() const { return Get(format::kCdCountOffset); }

  void setFatStart(uint32_t v) { Set(format::kFatStartOffset, v); }
  void setFatSectors(uint32_t v) { Set(format::kFatSectorsOffset, v); }
  void setAudioStart(uint32_t v) { Set(format::kAudioStartOffset, v); }
  void setAudioClusters(uint32_t v) { Set(format::kAudioClustersOffset, v); }
  void setCdStart(uint32_t v) { Set(format::kCdStartOffset, v); }
  void setCdCount(uint32_t v) { Set(format::kCdCountOffset, v); }

  // First sector of cluster c.
  uint64_t ClusterSector(uint32_t cluster) const {
    return (uint64_t(audioStart()) + cluster) * format::kSectorsPerCluster;
  }
  // One past the last sector of the audio area: (audioStart + audioClusters) * 16.
  uint64_t AudioEndSector() const { return ClusterSector(audioClusters()); }

  // Remote-control table slot 0..127 as a whole 4-byte entry (byte 0 lowest).
  uint32_t remoteEntry(uint32_t slot) const {
    return LoadLe32(bytes_.data() + format::kRemoteTableOffset + 4 * slot);
  }
  void setRemoteEntry(uint32_t slot, uint32_t entry) {
    StoreLe32(bytes_.data() + format::kRemoteTableOffset + 4 * slot, entry);
  }

 private:
  uint32_t Get(uint32_t offset) const { return LoadLe32(bytes_.data() + offset); }
  void Set(uint32_t offset, uint32_t v) { StoreLe32(bytes_.data() + offset, v); }

  Bytes bytes_;
};

}  // namespace jukepak
