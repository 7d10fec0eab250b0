#include "volume/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace jukepak {

SourceFile::~SourceFile() {
  if (fd_ >= 0) close(fd_);
}

Result SourceFile::Open(const std::string& path, const std::string& open_failure_text) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  size_ = 0;
  // O_NONBLOCK keeps a FIFO or a device from holding the caller up; such
  // files are refused below anyway.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Result::Error(ResultCode::kNotFound, open_failure_text);
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Result::Error(ResultCode::kNotFound, open_failure_text);
  }
  fd_ = fd;
  size_ = uint64_t(info.st_size);
  changed_seconds_ = int64_t(info.st_mtim.tv_sec);
  changed_nanoseconds_ = int64_t(info.st_mtim.tv_nsec);
  return Result::Ok();
}

Result SourceFile::CheckUnchanged(const std::string& changed_text) const {
  struct stat info;
  const bool same = fd_ >= 0 && fstat(fd_, &info) == 0 && uint64_t(info.st_size) == size_ &&
                    int64_t(info.st_mtim.tv_sec) == changed_seconds_ &&
                    int64_t(info.st_mtim.tv_nsec) == changed_nanoseconds_;
  return same ? Result::Ok() : Result::Error(ResultCode::kIoError, changed_text);
}

Result SourceFile::ReadAt(uint64_t offset, uint64_t length, uint8_t* out,
                          const std::string& read_failure_text) const {
  while (length > 0) {
    const size_t chunk = length < (1u << 30) ? size_t(length) : size_t(1u << 30);
    const ssize_t got = pread(fd_, out, chunk, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return Result::Error(ResultCode::kIoError, read_failure_text);
    out += got;
    offset += uint64_t(got);
    length -= uint64_t(got);
  }
  return Result::Ok();
}

}  // namespace jukepak
