// 48-byte text fields of the on-disk records: 8-bit text terminated by a zero.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "format/format_constants.h"

namespace jukepak {

// The text of a field: its bytes up to the first zero, at most the whole field.
inline std::string ReadTextField(const uint8_t* field, size_t width = format::kTextFieldSize) {
  size_t length = 0;
  while (length < width && field[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

// Stores `text` (already 8-bit) cut to width - 1 bytes and zero-fills the rest
// of the field, so the terminating zero is always present.
inline void WriteTextField(uint8_t* field, std::string_view text,
                           size_t width = format::kTextFieldSize) {
  const size_t length = text.size() < width - 1 ? text.size() : width - 1;
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), length);
}

}  // namespace jukepak
