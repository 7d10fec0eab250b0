#include "driver/foreign_disk_guard.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "format/format_constants.h"

namespace jukepak {
namespace {

// True when `named` is another path to the file or device open as `fd`.
bool NamesTheSameDisk(const char* named, int fd) {
  struct stat wanted {
  }, open_one{};
  if (named == nullptr || named[0] == '\0') return false;
  if (stat(named, &wanted) != 0 || fstat(fd, &open_one) != 0) return false;
  if (S_ISBLK(wanted.st_mode) && S_ISBLK(open_one.st_mode))
    return wanted.st_rdev == open_one.st_rdev;
  return wanted.st_dev == open_one.st_dev && wanted.st_ino == open_one.st_ino;
}

bool HoldsPlayerVolume(int fd) {
  char start[sizeof format::kVolumeSignature] = {};
  return pread(fd, start, sizeof start, 0) == ssize_t(sizeof start) &&
         std::memcmp(start, format::kVolumeSignature, sizeof start) == 0;
}

}  // namespace

void AllowForeignDisk(const std::string& path) { setenv(kForceDiskVariable, path.c_str(), 1); }

ForeignDiskGuard::ForeignDiskGuard(std::string path, std::unique_ptr<DiskProbe> probe)
    : path_(std::move(path)), probe_(std::move(probe)) {}

Result ForeignDiskGuard::Check(int fd, uint64_t size) {
  if (!content_verdict_) content_verdict_ = LookAtContent(fd, size);
  if (content_verdict_->ok()) return Result::Ok();
  if (NamesTheSameDisk(std::getenv(kForceDiskVariable), fd)) return Result::Ok();
  return *content_verdict_;
}

Result ForeignDiskGuard::PermitWrite(int fd, uint64_t size) {
  const Result allowed = Check(fd, size);
  if (!allowed.ok() || content_verdict_->ok() || wiped_) return allowed;
  const Result wiped = probe_->Wipe(fd, size);
  if (!wiped.ok()) return Result::Error(wiped.code(), path_ + ": " + wiped.message());
  wiped_ = true;
  return Result::Ok();
}

Result ForeignDiskGuard::LookAtContent(int fd, uint64_t size) const {
  if (HoldsPlayerVolume(fd)) return Result::Ok();
  DiskSignature found;
  const Result probed = probe_->Probe(fd, size, &found);
  if (!probed.ok()) {
    return Result::Error(ResultCode::kRefused,
                         path_ + " cannot be looked at (" + probed.message() + "); not touched");
  }
  if (found.kind == DiskSignature::Kind::kNothing) return Result::Ok();
  return Result::Error(ResultCode::kRefused,
                       path_ + " holds " + found.Describe() + "; not touched");
}

}  // namespace jukepak
