// VolumeImages: the memory images of one volume that a check works on, as the
// reading step read them from the drive, and the saved copies that the repair
// pass starts from (a dry run changes the working images; the repair must
// find the same faults in the volume as it is on the disk).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/result.h"
#include "checker/check_engine.h"
#include "format/format_constants.h"
#include "format/sector_device.h"

namespace jukepak::checker {

// One CD's track records, one 1024-byte slot per listed track (at most 100);
// a slot whose track starts outside the audio area is left unread.
struct CdTrackRecords {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> present;
  const uint8_t* record(uint32_t track) const {
    return present[track] != 0 ? bytes.data() + size_t(track) * format::kTrackRecordSize : nullptr;
  }
};

struct VolumeImages {
  uint32_t sectorCount = 0;
  std::array<uint8_t, format::kHeaderSize> header{};
  std::array<uint8_t, format::kHeaderSize> savedHeader{};
  std::vector<uint8_t> fat, savedFat;
  std::vector<uint8_t> cds, savedCds;
  // Read once and never changed; both passes use them.
  std::vector<CdTrackRecords> tracks;

  // Working images := saved copies.
  void RestoreSaved();
};

// What the reading step tells its caller as it goes.
class ReadProgress {
 public:
  virtual ~ReadProgress() = default;
  // A progress text ending in "\n" ("Reading FAT - %05\n", ...).
  virtual void Progress(const char* text) = 0;
  // The stop check, asked after every FAT sector and every CD.
  virtual bool StopRequested() = 0;
};

// Reads the FAT, the CD sectors and every track record of the volume whose
// header is already in images->header (and sound), and saves copies of the
// header, FAT and CD sectors. A CD whose track count is above 100 gets 101
// in the working copy, so the check rejects it. A track record holding an
// index mark D0 00 D0 is read again, up to three reads in all. Fails with the
// device's kIoError (a communications failure) or with kCancelled when the
// stop check asks; nothing is written either way.
Result ReadVolumeImages(SectorDevice& device, VolumeImages* images, ReadProgress* progress);

// Hands the working images to the engine: header, CD sectors, FAT and every
// track record read. The images must outlive the engine's use of them.
Result AttachImages(CheckEngine& engine, VolumeImages& images);

}  // namespace jukepak::checker
