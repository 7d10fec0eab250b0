// Every constant of the player's volume format, defined once.
#pragma once

#include <cstdint>

namespace jukepak::format {

inline constexpr uint32_t kSectorSize = 512;
inline constexpr uint32_t kSectorsPerCluster = 16;
inline constexpr uint32_t kClusterSize = kSectorSize * kSectorsPerCluster;  // 8192

// Header: sectors 0 and 1. Sector 1 is the remote-control code table.
inline constexpr uint32_t kHeaderSize = 1024;
inline constexpr uint32_t kHeaderSectors = 2;
inline constexpr char kVolumeSignature[4] = {'M', 'P', 'F', 'S'};
inline constexpr uint32_t kBannerOffset = 8;
inline constexpr uint32_t kBannerFieldSize = 24;
// The fixed banner both programs write: 22 characters.
inline constexpr char kBanner[] = "Jukepak Music Volume 1";
static_assert(sizeof(kBanner) - 1 == 22, "the banner is 22 characters");
inline constexpr uint32_t kFatStartOffset = 32;
inline constexpr uint32_t kFatSectorsOffset = 36;
inline constexpr uint32_t kAudioStartOffset = 40;
inline constexpr uint32_t kAudioClustersOffset = 44;
inline constexpr uint32_t kCdStartOffset = 48;
inline constexpr uint32_t kCdCountOffset = 52;
inline constexpr uint32_t kFirstFatSector = 4;

// Remote-control code table: 128 entries of 4 bytes at header byte 512.
inline constexpr uint32_t kRemoteTableOffset = 512;
inline constexpr uint32_t kRemoteSlots = 128;
inline constexpr uint32_t kRemoteFunctions = 16;
inline constexpr uint32_t kDefaultRemoteEntries = 100;

// FAT.
inline constexpr uint32_t kFatEntriesPerSector = kSectorSize / 4;  // 128
inline constexpr uint32_t kFatFree = 0x00FFFFFF;
inline constexpr uint32_t kFatEndOfChain = 0x00FFFFFE;

// Filler between the FAT and the audio area.
inline constexpr uint8_t kFillerByte = 0x55;

// CD record: one sector.
inline constexpr uint32_t kCdRecordSize = kSectorSize;
inline constexpr char kCdSignature[4] = {'M', 'P', 'C', 'D'};
inline constexpr uint32_t kCdTrackCountOffset = 4;
inline constexpr uint32_t kCdAlbumOffset = 16;
inline constexpr uint32_t kCdArtistOffset = 64;
inline constexpr uint32_t kCdStartClustersOffset = 112;
inline constexpr uint32_t kMaxTracksPerCd = 100;

// Track record: the first two sectors of a track's first cluster.
inline constexpr uint32_t kTrackRecordSize = 1024;
inline constexpr uint32_t kTrackRecordSectors = 2;
inline constexpr char kTrackSignature[4] = {'M', 'P', 'T', 'K'};
inline constexpr uint32_t kTrackSizeOffset = 4;
inline constexpr uint32_t kTrackTitleOffset = 8;
inline constexpr uint32_t kTrackArtistOffset = 56;
inline constexpr uint32_t kIndexMarksOffset = 128;
inline constexpr uint32_t kIndexMarkSize = 5;
inline constexpr uint32_t kMaxIndexMarks = 178;
inline constexpr uint32_t kIndexMarkSlots = kMaxIndexMarks + 1;  // the marks and a terminator
// Byte 2 of an entry (the cluster's top byte) is 0xFF in a terminator.
inline constexpr uint8_t kIndexTerminatorByte = 0xFF;
inline constexpr uint32_t kIndexTerminatorCluster = 0xFFFFFE;
// No track may use a cluster at or above this: an index mark naming it would
// have 0xFF as byte 2 and read as the terminator. On the largest drives the
// audio area reaches past it (the top 448 MB of 2^28 sectors), and those
// clusters stay unused.
inline constexpr uint32_t kTrackClusterBound = 0xFF0000;

// Text fields: 48 bytes, zero-terminated, 47 characters usable.
inline constexpr uint32_t kTextFieldSize = 48;
inline constexpr uint32_t kTextLimit = kTextFieldSize - 1;

// The placeholder track that initialization writes in clusters 0 and 1.
inline constexpr uint32_t kPlaceholderSize = 0x4000;
inline constexpr char kPlaceholderTitle[] = "Empty Track";
inline constexpr uint32_t kPlaceholderZeroSectors = 30;

// Tree labels of the window are cut to this many characters.
inline constexpr uint32_t kLabelLimit = 98;

// The largest sector number the player's disk can address (LBA28).
inline constexpr uint64_t kLba28Sectors = 1ull << 28;

}  // namespace jukepak::format
