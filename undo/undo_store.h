// UndoStore: where an undo file's bytes live. Only appended to, so a cut
// can only lose or tear its end. The file implementation keeps them on disk;
// tests keep them in memory with a model of what a power cut leaves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result.h"

namespace jukepak::undo {

class UndoStore {
 public:
  virtual ~UndoStore() = default;
  // Appends `size` bytes at the end. Not durable until Sync().
  virtual Result Append(const uint8_t* data, size_t size) = 0;
  // Returns once everything appended so far survives a power cut.
  virtual Result Sync() = 0;
  virtual uint64_t Size() const = 0;
  // `size` bytes at `offset`; kCorrupt when they are not all there.
  virtual Result ReadAt(uint64_t offset, size_t size, uint8_t* out) const = 0;
};

}  // namespace jukepak::undo
