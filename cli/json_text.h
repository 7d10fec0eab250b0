// Texts for the --json documents: the volume's fields are Latin-1 as the
// player shows them, everything else (paths, labels, messages) UTF-8.
#pragma once

#include <QString>
#include <string>

namespace songlift::cli {

inline QString JsonFromLatin1(const std::string& latin1) {
  return QString::fromLatin1(latin1.data(), qsizetype(latin1.size()));
}

inline QString JsonFromUtf8(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace songlift::cli
