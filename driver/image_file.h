// ImageFile: a disk image file behind the sector interface of a driver module.
// Sector s of the player is bytes s*512 .. s*512+511 of the file. Opening takes
// an exclusive lock on the file, so that two programs never drive the same
// player at once; the lock goes with the object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"

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

// Opens the image a module should use (see ImagePathFromEnvironment). An
// image named in JUKEPAK_IMAGE must exist: a missing one fails with kNotFound
// and nothing is created, so that a typing mistake never makes a new player.
// The default image is created (sparse, kBuiltInPlayerSectors sectors, with
// its folders) the first time it is opened. Errors as ImageFile::Open.
Result OpenImageFromEnvironment(std::unique_ptr<ImageFile>* image);

class ImageFile {
 public:
  // Opens an existing image for reading and writing. Fails with kNotFound
  // when it does not exist, kCorrupt when its size is not a whole number of
  // sectors (or exceeds 2^32 - 1 sectors), kBusy when another program holds it.
  static Result Open(const std::string& path, std::unique_ptr<ImageFile>* image);

  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  const std::string& path() const { return path_; }
  uint32_t sectorCount() const { return sector_count_; }

  // Sector transfers. A transfer that would run past the last sector fails
  // and transfers nothing; count 0 succeeds. True on success.
  bool Read(uint32_t sector, uint32_t count, void* buffer) const;
  bool Write(uint32_t sector, uint32_t count, const void* buffer);

  // The remote-control code latched in the side file "<image>.ir" (a decimal
  // number; 0 when absent or unreadable), low 16 bits. Reading empties the
  // file, as the receiver's latch is cleared when read.
  uint32_t TakeRemoteCode();

 private:
  ImageFile(std::string path, int fd, uint32_t sector_count);

  std::string path_;
  int fd_ = -1;
  uint32_t sector_count_ = 0;
};

}  // namespace jukepak
