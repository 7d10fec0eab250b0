#include "driver/image_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/blkid_probe.h"

namespace jukepak {

// An image file or block device just opened, before it becomes an ImageFile.
struct OpenedDisk {
  int fd = -1;
  bool is_block_device = false;
  uint64_t bytes = 0;
  std::string read_only_reason;  // empty when it is open for writing too
};

namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kWritePiece = 128 * 1024;
constexpr uint64_t kWritebackRun = 256 * 1024;
constexpr uint64_t kMostSectors = 0xFFFFFFFFull;

std::string ErrnoText() { return std::strerror(errno); }

bool TransferFits(uint32_t sector, uint32_t count, uint32_t total) {
  return uint64_t(sector) + uint64_t(count) <= uint64_t(total);
}

std::string OctalMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
  return text;
}

// Why open(O_RDWR) failing with `error` means the disk can still be read.
std::string ReadOnlyReason(int error) {
  switch (error) {
    case EROFS:
      return "on a read-only file system";
    case EACCES:
      return "no permission to write it";
    case EPERM:
      return "writing it is not permitted";
    default:
      return {};
  }
}

Result OpenFailure(const std::string& path, int error) {
  if (error == ENOENT) {
    return Result::Error(ResultCode::kNotFound,
                         "cannot open image " + path + ": " + std::strerror(error));
  }
  if (error == EBUSY) {
    return Result::Error(ResultCode::kBusy, path +
                                                " is in use (mounted, or open in another "
                                                "program); unmount or close it first");
  }
  return Result::Error(ResultCode::kIoError,
                       "cannot open image " + path + ": " + std::strerror(error));
}

// Opens for reading and writing, or for reading only where writing is
// refused. A file whose mode lets nobody write it is taken as the user's word
// that it must not change, and opened read-only even for root, whom the
// kernel would let write.
Result OpenReadWriteOrReadOnly(const std::string& path, const struct stat& info, int flags,
                               OpenedDisk* disk) {
  if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) {
    disk->read_only_reason = "write-protected: mode " + OctalMode(info.st_mode);
  } else {
    disk->fd = open(path.c_str(), O_RDWR | flags);
    if (disk->fd >= 0) return Result::Ok();
    disk->read_only_reason = ReadOnlyReason(errno);
    if (disk->read_only_reason.empty()) return OpenFailure(path, errno);
  }
  disk->fd = open(path.c_str(), O_RDONLY | flags);
  if (disk->fd < 0) return OpenFailure(path, errno);
  return Result::Ok();
}

Result MeasureBlockDevice(const std::string& path, OpenedDisk* disk) {
  int sector_size = 0;
  if (ioctl(disk->fd, BLKSSZGET, &sector_size) != 0) {
    return Result::Error(ResultCode::kIoError,
                         "cannot read the sector size of " + path + ": " + ErrnoText());
  }
  if (sector_size != int(kSector)) {
    return Result::Error(ResultCode::kUnsupported,
                         path + " has " + std::to_string(sector_size) +
                             "-byte sectors; the player's disk has 512-byte sectors");
  }
  if (ioctl(disk->fd, BLKGETSIZE64, &disk->bytes) != 0) {
    return Result::Error(ResultCode::kIoError,
                         "cannot read the size of " + path + ": " + ErrnoText());
  }
  int read_only = 0;
  if (ioctl(disk->fd, BLKROGET, &read_only) == 0 && read_only != 0 &&
      disk->read_only_reason.empty()) {
    disk->read_only_reason = "a read-only device";
  }
  if (disk->bytes / kSector > kMostSectors) {
    return Result::Error(ResultCode::kUnsupported,
                         path + " has more than 2^32-1 sectors, more than the player addresses");
  }
  return Result::Ok();
}

Result MeasureImageFile(const std::string& path, const struct stat& info, OpenedDisk* disk) {
  disk->bytes = uint64_t(info.st_size);
  if (disk->bytes % kSector != 0) {
    return Result::Error(ResultCode::kCorrupt, "image " + path +
                                                   " is not a whole number of 512-byte sectors (" +
                                                   std::to_string(disk->bytes) + " bytes)");
  }
  if (disk->bytes / kSector > kMostSectors) {
    return Result::Error(ResultCode::kCorrupt, "image " + path + " has more than 2^32-1 sectors");
  }
  return Result::Ok();
}

// Opens and measures an image file or block device; `exclusive` opens a
// block device with O_EXCL. On failure nothing stays open.
Result OpenDisk(const std::string& path, bool exclusive, OpenedDisk* disk) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return OpenFailure(path, errno);
  if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
    return Result::Error(ResultCode::kUnsupported,
                         path + " is neither a regular file nor a block device");
  }
  disk->is_block_device = S_ISBLK(info.st_mode);
  const int flags = O_CLOEXEC | (disk->is_block_device && exclusive ? O_EXCL : 0);
  Result result = OpenReadWriteOrReadOnly(path, info, flags, disk);
  if (!result.ok()) return result;
  // Measured through the descriptor: the path may have been replaced meanwhile.
  if (fstat(disk->fd, &info) != 0 || S_ISBLK(info.st_mode) != disk->is_block_device) {
    result = Result::Error(ResultCode::kIoError, path + " changed while it was opened");
  } else if (disk->is_block_device) {
    result = MeasureBlockDevice(path, disk);
  } else {
    result = MeasureImageFile(path, info, disk);
  }
  if (!result.ok()) {
    close(disk->fd);
    disk->fd = -1;
  }
  return result;
}

}  // namespace

std::string DefaultImagePath() {
  const char* data_home = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data_home != nullptr && data_home[0] == '/') {
    base = data_home;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.local/share";
  }
  return base + "/Corvane/jukepak.img";
}

std::string ImagePathFromEnvironment(bool* is_default) {
  const char* named = std::getenv("JUKEPAK_IMAGE");
  if (named != nullptr && named[0] != '\0') {
    *is_default = false;
    return named;
  }
  *is_default = true;
  return DefaultImagePath();
}

Result CreateParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      return Result::Error(ResultCode::kIoError, "cannot create folder " + folder + ": " + ErrnoText());
    }
  }
  return Result::Ok();
}

Result CreateSparseImage(const std::string& path, uint64_t sectors) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return Result::Error(ResultCode::kInvalidArgument, path + " already exists");
    return Result::Error(ResultCode::kIoError, "cannot create " + path + ": " + ErrnoText());
  }
  const bool sized = ftruncate(fd, off_t(sectors * kSector)) == 0;
  const std::string why = sized ? "" : ErrnoText();
  close(fd);
  if (!sized) {
    unlink(path.c_str());
    return Result::Error(ResultCode::kIoError, "cannot size " + path + ": " + why);
  }
  return Result::Ok();
}

Result OpenImageFromEnvironment(std::unique_ptr<ImageFile>* image) {
  bool is_default = false;
  const std::string path = ImagePathFromEnvironment(&is_default);
  Result result = ImageFile::Open(path, image);
  if (result.code() == ResultCode::kNotFound && is_default) {
    result = CreateParentFolders(path);
    if (result.ok()) result = CreateSparseImage(path, kBuiltInPlayerSectors);
    if (result.ok()) result = ImageFile::Open(path, image);
  }
  return result;
}

ImageFile::ImageFile(std::string path, int fd, uint32_t sector_count)
    : path_(std::move(path)), fd_(fd), sector_count_(sector_count) {}

ImageFile::~ImageFile() {
  if (fd_ >= 0) {
    fdatasync(fd_);
    flock(fd_, LOCK_UN);
    close(fd_);
  }
}

Result ImageFile::Open(const std::string& path, std::unique_ptr<ImageFile>* image) {
  image->reset();
  OpenedDisk disk;
  const Result opened = OpenDisk(path, true, &disk);
  if (!opened.ok()) return opened;
  if (flock(disk.fd, LOCK_EX | LOCK_NB) != 0) {
    close(disk.fd);
    return Result::Error(ResultCode::kBusy, "image " + path + " is in use by another program");
  }
  *image = FromOpened(path, disk);
  return Result::Ok();
}

std::unique_ptr<ImageFile> ImageFile::FromOpened(const std::string& path, const OpenedDisk& disk) {
  std::unique_ptr<ImageFile> image(new ImageFile(path, disk.fd, uint32_t(disk.bytes / kSector)));
  image->is_block_device_ = disk.is_block_device;
  image->read_only_reason_ = disk.read_only_reason;
  if (disk.is_block_device) image->GuardWrites(std::make_unique<BlkidProbe>());
  return image;
}

Result CheckImageWritable(const std::string& path) {
  OpenedDisk disk;
  const Result opened = OpenDisk(path, false, &disk);
  if (!opened.ok()) return opened;
  // Not locked: the program that holds the image keeps its lock.
  return ImageFile::FromOpened(path, disk)->CheckWritable();
}

void ImageFile::GuardWrites(std::unique_ptr<DiskProbe> probe) {
  guard_ = std::make_unique<ForeignDiskGuard>(path_, std::move(probe));
}

Result ImageFile::ReadOnlyRefusal() const {
  return Result::Error(ResultCode::kReadOnly, path_ + " is read-only (" + read_only_reason_ +
                                                  "); nothing is written to it");
}

Result ImageFile::CheckWritable() {
  if (readOnly()) return ReadOnlyRefusal();
  if (guard_ != nullptr) return guard_->Check(fd_, uint64_t(sector_count_) * kSector);
  return Result::Ok();
}

bool ImageFile::Read(uint32_t sector, uint32_t count, void* buffer) const {
  if (!TransferFits(sector, count, sector_count_)) return false;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  const uint64_t total = uint64_t(count) * kSector;
  while (done < total) {
    const ssize_t got = pread(fd_, out + done, total - done, off_t(uint64_t(sector) * kSector + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // an image never ends early: its size was checked
    done += uint64_t(got);
  }
  return true;
}

Result ImageFile::Write(uint32_t sector, uint32_t count, const void* buffer) {
  if (count == 0) return Result::Ok();
  if (!TransferFits(sector, count, sector_count_)) {
    return Result::Error(ResultCode::kInvalidArgument,
                         "a write of " + std::to_string(count) + " sectors at sector " +
                             std::to_string(sector) + " runs past the end of " + path_);
  }
  if (readOnly()) return ReadOnlyRefusal();
  if (guard_ != nullptr) {
    const Result allowed = guard_->PermitWrite(fd_, uint64_t(sector_count_) * kSector);
    if (!allowed.ok()) return allowed;
  }
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  uint64_t done = 0;
  const uint64_t total = uint64_t(count) * kSector;
  while (done < total) {
    // In pieces of at most kWritePiece: the kernel takes large page-cache
    // folios for large writes, and writes of 1 MB at once cost up to ten
    // times the system time of the same bytes in 128 KB pieces on the
    // machines measured (see the README's benchmarks).
    const uint64_t piece = std::min<uint64_t>(total - done, kWritePiece);
    const ssize_t put = pwrite(fd_, in + done, piece, off_t(uint64_t(sector) * kSector + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      return Result::Error(
          ResultCode::kIoError,
          "writing to " + path_ + " failed: " + (put < 0 ? ErrnoText() : "nothing was written"));
    }
    done += uint64_t(put);
  }
  // A long run (a song's audio) is sent on to the disk now, without waiting
  // for it: the disk writes while the next run is read, and the flush when
  // the image closes waits for little more than the last run.
  if (total >= kWritebackRun) {
    (void)sync_file_range(fd_, off_t(uint64_t(sector) * kSector), off_t(total),
                          SYNC_FILE_RANGE_WRITE);
  }
  return Result::Ok();
}

uint32_t ImageFile::TakeRemoteCode() {
  const std::string side = path_ + ".ir";
  const int fd = open(side.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[32] = {};
  ssize_t got = read(fd, text, sizeof text - 1);
  if (got < 0) got = 0;
  text[got] = '\0';
  const bool cleared = got == 0 || ftruncate(fd, 0) == 0;
  close(fd);
  if (!cleared) return 0;  // a latch that cannot be cleared would repeat its code for ever
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (end == text) return 0;
  return uint32_t(value & 0xFFFF);
}

}  // namespace jukepak
