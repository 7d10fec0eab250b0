#include "undo/file_undo_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace jukepak::undo {
namespace {

Result Failed(const std::string& what, const std::string& path) {
  return Result::Error(ResultCode::kIoError, what + " " + path + ": " + std::strerror(errno));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FileUndoStore::FileUndoStore(int fd, std::string path, uint64_t size, bool created)
    : fd_(fd), path_(std::move(path)), size_(size), folder_synced_(!created) {}

FileUndoStore::~FileUndoStore() { ::close(fd_); }

Result FileUndoStore::Create(const std::string& path, std::unique_ptr<FileUndoStore>* out) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) {
    return Result::Error(ResultCode::kBusy,
                         path + " already exists; an undo file is never overwritten");
  }
  if (fd < 0) return Failed("cannot create the undo file", path);
  out->reset(new FileUndoStore(fd, path, 0, true));
  return Result::Ok();
}

Result FileUndoStore::Open(const std::string& path, std::unique_ptr<FileUndoStore>* out) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Failed("cannot open the undo file", path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const Result r = Failed("cannot read the undo file", path);
    ::close(fd);
    return r;
  }
  out->reset(new FileUndoStore(fd, path, uint64_t(st.st_size), false));
  return Result::Ok();
}

Result FileUndoStore::Append(const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, off_t(size_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed("cannot write the undo file", path_);
    done += size_t(n);
  }
  size_ += size;
  return Result::Ok();
}

Result FileUndoStore::Sync() {
  if (::fdatasync(fd_) != 0) return Failed("cannot flush the undo file", path_);
  if (!folder_synced_) {
    const std::string folder = FolderOf(path_);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return Failed("cannot open the folder of", path_);
    const int synced = ::fsync(dir);
    ::close(dir);
    if (synced != 0) return Failed("cannot flush the folder of", path_);
    folder_synced_ = true;
  }
  return Result::Ok();
}

Result FileUndoStore::ReadAt(uint64_t offset, size_t size, uint8_t* out) const {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, out + done, size - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed("cannot read the undo file", path_);
    if (n == 0) return Result::Error(ResultCode::kCorrupt, path_ + " ends early");
    done += size_t(n);
  }
  return Result::Ok();
}

}  // namespace jukepak::undo
