#include "volume/playlist.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "base/latin1.h"
#include "base/player_text.h"
#include "volume/source_file.h"

namespace jukepak {
namespace {

constexpr uint64_t kMaxPlaylistBytes = 4 * 1024 * 1024;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char ch) { return char(std::tolower(ch)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Trim(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const size_t last = line.find_last_not_of(" \t\r");
  return line.substr(first, last - first + 1);
}

// "scheme://...": letters, digits, "+", "-" or "." before "://".
bool IsUrl(const std::string& entry, std::string* scheme) {
  const size_t colon = entry.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    const unsigned char ch = static_cast<unsigned char>(entry[i]);
    if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.') return false;
  }
  *scheme = Lower(entry.substr(0, colon));
  return true;
}

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// The path of a "file://[host]/path" URL, its %XX escapes decoded.
std::string PathOfFileUrl(const std::string& url) {
  std::string rest = url.substr(7);
  const size_t slash = rest.find('/');
  rest = slash == std::string::npos ? "" : rest.substr(slash);
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
        HexValue(rest[i + 2]) >= 0) {
      path.push_back(char(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
      i += 2;
    } else {
      path.push_back(rest[i]);
    }
  }
  return path;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Normal(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().string();
}

std::string Resolve(const std::string& folder, const std::string& entry) {
  const std::string as_written = Normal(entry[0] == '/' ? entry : folder + "/" + entry);
  if (entry.find('\\') == std::string::npos || Exists(as_written)) return as_written;
  std::string slashed = entry;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  return Normal(slashed[0] == '/' ? slashed : folder + "/" + slashed);
}

// A Latin-1 playlist was most likely written beside files whose names are
// Latin-1 bytes on disk too, so those bytes are tried first; a name that is
// not there is taken as the text it reads as, in UTF-8.
std::string ResolveEntry(const std::string& folder, const std::string& entry,
                         const std::string& latin1_bytes) {
  if (!latin1_bytes.empty()) {
    const std::string as_bytes = Resolve(folder, latin1_bytes);
    if (Exists(as_bytes)) return as_bytes;
  }
  return Resolve(folder, entry);
}

}  // namespace

bool IsPlaylistName(const std::string& path) {
  const std::string lower = Lower(path);
  return EndsWith(lower, ".m3u") || EndsWith(lower, ".m3u8");
}

Result ReadPlaylist(const std::string& path, std::vector<PlaylistEntry>* entries) {
  entries->clear();
  // Through SourceFile, which refuses a FIFO or a device by that name
  // instead of waiting on it.
  SourceFile file;
  const Result opened = file.Open(path, "Could not open the playlist!");
  if (!opened.ok()) return opened;
  if (file.size() > kMaxPlaylistBytes) {
    return Result::Error(ResultCode::kLimit, "The playlist is too large (over 4 MB)!");
  }
  std::string text(size_t(file.size()), '\0');
  const Result read = file.ReadAt(0, file.size(), reinterpret_cast<uint8_t*>(text.data()),
                                  "Could not read the playlist!");
  if (!read.ok()) return read;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  const bool utf8 = EndsWith(Lower(path), ".m3u8") || Utf8LengthCutAtEnd(text) == text.size();

  const std::string folder = FolderOf(path);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string entry = utf8 ? Trim(line) : Utf8FromLatin1(Trim(line));
    if (entry.empty() || entry[0] == '#') continue;
    std::string scheme;
    if (IsUrl(entry, &scheme)) {
      if (scheme == "file") {
        entries->push_back({PathOfFileUrl(entry), false});
      } else {
        entries->push_back({entry, true});
      }
      continue;
    }
    entries->push_back({ResolveEntry(folder, entry, utf8 ? "" : Trim(line)), false});
  }
  return Result::Ok();
}

}  // namespace jukepak
