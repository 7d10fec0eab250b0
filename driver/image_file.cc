#include "driver/image_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace jukepak {
namespace {

constexpr uint64_t kSector = 512;

std::string ErrnoText() { return std::strerror(errno); }

bool TransferFits(uint32_t sector, uint32_t count, uint32_t total) {
  return uint64_t(sector) + uint64_t(count) <= uint64_t(total);
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
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    const ResultCode code = errno == ENOENT ? ResultCode::kNotFound : ResultCode::kIoError;
    return Result::Error(code, "cannot open image " + path + ": " + ErrnoText());
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Result::Error(ResultCode::kInvalidArgument, path + " is not a regular file");
  }
  const uint64_t size = uint64_t(info.st_size);
  if (size % kSector != 0) {
    close(fd);
    return Result::Error(ResultCode::kCorrupt,
                         "image " + path + " is not a whole number of 512-byte sectors (" +
                             std::to_string(size) + " bytes)");
  }
  if (size / kSector > 0xFFFFFFFFull) {
    close(fd);
    return Result::Error(ResultCode::kCorrupt, "image " + path + " has more than 2^32-1 sectors");
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return Result::Error(ResultCode::kBusy, "image " + path + " is in use by another program");
  }
  image->reset(new ImageFile(path, fd, uint32_t(size / kSector)));
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

bool ImageFile::Write(uint32_t sector, uint32_t count, const void* buffer) {
  if (!TransferFits(sector, count, sector_count_)) return false;
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  uint64_t done = 0;
  const uint64_t total = uint64_t(count) * kSector;
  while (done < total) {
    const ssize_t put = pwrite(fd_, in + done, total - done, off_t(uint64_t(sector) * kSector + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += uint64_t(put);
  }
  return true;
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
