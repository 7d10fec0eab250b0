// ImageFile: the player's disk as an image file or as a block device (the
// disk itself in a USB-IDE adapter), behind the sector interface of a driver
// module. Sector s of the player is bytes s*512 .. s*512+511 of the file or
// device. Opening takes an exclusive lock, so that two programs never drive
// the same player at once; the lock goes with the object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"
#include "driver/disk_probe.h"
#include "driver/foreign_disk_guard.h"

namespace jukepak {

// The size of the built-in player, the image created at the default path.
inline constexpr uint32_t kBuiltInPlayerSectors = 12594960;

// $XDG_DATA_HOME/Corvane/jukepak.img, or ~/.local/share/Corvane/jukepak.img.
std::string DefaultImagePath();

// The image a module should open: JUKEPAK_IMAGE when set, else the default
// path. *is_default tells which.
std::string ImagePathFromEnvironment(bool* is_default);

// Creates a zero-filled sparse image of `sectors` sectors. Fails when the file
// exists already or cannot be made. Parent folders are not created.
Result CreateSparseImage(const std::string& path, uint64_t sectors);

// Creates the folders leading to `path` (like mkdir -p of its parent).
Result CreateParentFolders(const std::string& path);

class ImageFile;
struct OpenedDisk;

// Opens the image a module should use (see ImagePathFromEnvironment). An
// image named in JUKEPAK_IMAGE must exist: a missing one fails with kNotFound
// and nothing is created, so that a typing mistake never makes a new player.
// The default image is created (sparse, kBuiltInPlayerSectors sectors, with
// its folders) the first time it is opened. Errors as ImageFile::Open.
Result OpenImageFromEnvironment(std::unique_ptr<ImageFile>* image);

// What a write through ImageFile::Open(path) would be refused with, asked
// beside the program that may hold the image open (no exclusive open, no
// lock): Ok when writing may go ahead, kReadOnly or kRefused with the text a
// refused write gives, or why the image cannot be opened at all.
Result CheckImageWritable(const std::string& path);

class ImageFile {
 public:
  // Opens an existing image file or block device, for reading and writing
  // where that is allowed:
  //  - a block device is opened with O_EXCL, so one that is mounted or in use
  //    is refused; its logical sectors must be 512 bytes;
  //  - where writing is refused (EACCES, EROFS, a read-only block device, or a
  //    file whose mode lets nobody write it, which holds for root too) the
  //    image opens read-only: reads work and every write fails with kReadOnly;
  //  - a block device's writes pass a ForeignDiskGuard with the blkid probe.
  // Fails with kNotFound when it does not exist, kCorrupt when a file's size
  // is not a whole number of sectors, kUnsupported for another sector size, a
  // disk of more than 2^32 - 1 sectors or what is neither file nor block
  // device, kBusy when another program holds it.
  static Result Open(const std::string& path, std::unique_ptr<ImageFile>* image);

  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  const std::string& path() const { return path_; }
  uint32_t sectorCount() const { return sector_count_; }
  bool isBlockDevice() const { return is_block_device_; }
  bool readOnly() const { return !read_only_reason_.empty(); }
  // Why the image opened read-only ("on a read-only file system"); empty when
  // it did not.
  const std::string& readOnlyReason() const { return read_only_reason_; }

  // Makes every write pass a ForeignDiskGuard over `probe` first. Open does
  // this for block devices with BlkidProbe; tests do it for files.
  void GuardWrites(std::unique_ptr<DiskProbe> probe);

  // Sector transfers. A transfer that would run past the last sector fails
  // and transfers nothing; count 0 succeeds. Read is true on success.
  bool Read(uint32_t sector, uint32_t count, void* buffer) const;
  // Fails with kReadOnly on a read-only image and with the guard's kRefused,
  // writing nothing; kIoError when the transfer itself fails.
  Result Write(uint32_t sector, uint32_t count, const void* buffer);
  // What Write would refuse with (kReadOnly, kRefused), without writing.
  Result CheckWritable();

  // The remote-control code latched in the side file "<image>.ir" (a decimal
  // number; 0 when absent or unreadable), low 16 bits. Reading empties the
  // file, as the receiver's latch is cleared when read.
  uint32_t TakeRemoteCode();

 private:
  friend Result CheckImageWritable(const std::string& path);

  ImageFile(std::string path, int fd, uint32_t sector_count);
  static std::unique_ptr<ImageFile> FromOpened(const std::string& path, const OpenedDisk& disk);
  Result ReadOnlyRefusal() const;

  std::string path_;
  int fd_ = -1;
  uint32_t sector_count_ = 0;
  bool is_block_device_ = false;
  std::string read_only_reason_;
  std::unique_ptr<ForeignDiskGuard> guard_;
};

}  // namespace jukepak
