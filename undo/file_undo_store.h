// FileUndoStore: an undo file on the PC's disk. Appends go to the end of
// the file; Sync() is fdatasync, and the first Sync() of a new file also
// syncs its folder so that the file itself survives a cut.
#pragma once

#include <memory>
#include <string>

#include "undo/undo_store.h"

namespace jukepak::undo {

class FileUndoStore : public UndoStore {
 public:
  // A new, empty file at `path`; refuses (kBusy) a path that exists, so no
  // earlier undo file is ever overwritten.
  static Result Create(const std::string& path, std::unique_ptr<FileUndoStore>* out);
  // An existing undo file, to read it and append to it.
  static Result Open(const std::string& path, std::unique_ptr<FileUndoStore>* out);
  ~FileUndoStore() override;
  FileUndoStore(const FileUndoStore&) = delete;
  FileUndoStore& operator=(const FileUndoStore&) = delete;

  Result Append(const uint8_t* data, size_t size) override;
  Result Sync() override;
  uint64_t Size() const override { return size_; }
  Result ReadAt(uint64_t offset, size_t size, uint8_t* out) const override;

 private:
  FileUndoStore(int fd, std::string path, uint64_t size, bool created);

  int fd_;
  std::string path_;
  uint64_t size_;
  bool folder_synced_;
};

}  // namespace jukepak::undo
