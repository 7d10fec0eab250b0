// The file-name part of a path, as the window's texts show it.
#pragma once

#include <string>

namespace jukepak {

// The text after the last "/" (the whole text when there is none).
inline std::string AfterLastSlash(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace jukepak
