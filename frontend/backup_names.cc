#include "frontend/backup_names.h"

#include <QString>
#include <cstdio>

namespace frontend {
namespace {

bool Refused(char16_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;  // control characters
  return QStringView(u"/\\<>:\"|?*").contains(QChar(c));
}

qsizetype Utf8Bytes(QChar c) { return c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3; }

}  // namespace

std::string SafeNamePart(std::string_view player_text, std::string_view fallback) {
  QString name = QString::fromLatin1(player_text.data(), qsizetype(player_text.size()));
  for (QChar& c : name) {
    if (Refused(c.unicode())) c = u'_';
  }
  while (!name.isEmpty() && name.front() == u' ') name.remove(0, 1);
  if (!name.isEmpty() && name.front() == u'.') name[0] = u'_';
  qsizetype bytes = 0;
  for (qsizetype i = 0; i < name.size(); ++i) {
    bytes += Utf8Bytes(name[i]);
    if (bytes > qsizetype(kMaxNamePartBytes)) {
      name.truncate(i);
      break;
    }
  }
  while (!name.isEmpty() && (name.back() == u'.' || name.back() == u' ')) name.chop(1);
  return name.isEmpty() ? std::string(fallback) : name.toStdString();
}

std::string TrackFilePath(const jukepak::CdRecord& cd, uint32_t slot,
                          const jukepak::TrackRecord& track) {
  char number[8];
  std::snprintf(number, sizeof number, "%02u", slot + 1);
  const std::string title = SafeNamePart(track.title(), "");
  const std::string file = title.empty() ? std::string(number) : std::string(number) + " " + title;
  return SafeNamePart(cd.artist(), "Unknown") + "/" + SafeNamePart(cd.album(), "Unknown") + "/" +
         file + ".mp3";
}

std::string NumberedPath(const std::string& path, int n) {
  if (n < 2) return path;
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  const size_t at =
      dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : path.size();
  return path.substr(0, at) + " (" + std::to_string(n) + ")" + path.substr(at);
}

std::string PathClaims::Key(const std::string& path) {
  return QString::fromStdString(path).toCaseFolded().toStdString();
}

bool PathClaims::Claimed(const std::string& path) const { return keys_.count(Key(path)) != 0; }

bool PathClaims::Claim(const std::string& path) { return keys_.insert(Key(path)).second; }

}  // namespace frontend
