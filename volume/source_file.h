// SourceFile: an MP3 file on the PC, opened for reading. Pending additions
// read its size and ID3v1 block through it, the sync its audio bytes. Only
// regular files open, and opening never blocks (a FIFO is refused, not
// waited on). Closed when the object goes.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace jukepak {

class SourceFile {
 public:
  SourceFile() = default;
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  // Opens `path` read-only, closing the file opened before. Fails with kNotFound and `open_failure_text` as
  // the message when it does not exist, cannot be opened or is not a regular
  // file.
  Result Open(const std::string& path, const std::string& open_failure_text);

  // The file's size in bytes at the time it was opened.
  uint64_t size() const { return size_; }

  // Fails with kIoError and `changed_text` when the file's size or time of
  // last change is no longer what it was when opened (it is being written
  // to, or was replaced in place).
  Result CheckUnchanged(const std::string& changed_text) const;

  // Reads exactly `length` bytes from `offset` into `out`. Fails with kIoError
  // and `read_failure_text` on an error or when the file ends first (a short
  // read is never passed off as data).
  Result ReadAt(uint64_t offset, uint64_t length, uint8_t* out,
                const std::string& read_failure_text) const;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  int64_t changed_seconds_ = 0;
  int64_t changed_nanoseconds_ = 0;
};

}  // namespace jukepak
