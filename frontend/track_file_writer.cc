#include "frontend/track_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frontend/file_digest.h"
#include "volume/track_export.h"

namespace frontend {
namespace {

using jukepak::Result;
using jukepak::ResultCode;

constexpr qint64 kPieceBytes = 1 << 20;
constexpr uint64_t kId3v1Bytes = 128;
constexpr int kMaxNumberedNames = 1000;

Result FileError(const std::string& what, const QString& path) {
  return Result::Error(ResultCode::kIoError,
                       "cannot " + what + " " + path.toStdString() + ": " + std::strerror(errno));
}

// A name beside the final one that no other run picks and that a file
// manager hides.
QString TemporaryPath(const QString& dir) {
  static std::atomic<unsigned> counter{0};
  return dir + "/.songlift-part-" + QString::number(getpid()) + "-" +
         QString::number(counter.fetch_add(1)) + ".mp3";
}

// What the exported file holds: its digest and where the audio's bytes lie
// in it. The file is the file's own tag, then the audio less the tag it may
// have begun with, then the ID3v1 block; headBytes is the length of that
// replaced beginning (the whole audio when the file does not hold it as
// expected, so that a restore stays exact either way).
struct FileLayout {
  uint64_t size = 0;
  std::string sha256;
  uint64_t audioOffset = 0;
  uint64_t headBytes = 0;
};

Result InspectExportedFile(const QString& path, std::span<const uint8_t> audio,
                           FileLayout* layout) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return FileError("read", path);
  layout->size = uint64_t(file.size());
  const uint64_t tag = LeadingId3v2Size(file.peek(10));
  const bool fits =
      layout->size >= tag + kId3v1Bytes && layout->size - tag - kId3v1Bytes <= audio.size();
  const uint64_t kept = fits ? layout->size - tag - kId3v1Bytes : 0;
  const uint8_t* kept_audio = audio.data() + (audio.size() - kept);
  bool same = fits;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  uint64_t at = 0;
  while (at < layout->size) {
    const QByteArray piece = file.read(kPieceBytes);
    if (piece.isEmpty()) return FileError("read", path);
    hash.addData(piece);
    const uint64_t from = std::max(at, tag), to = std::min(at + uint64_t(piece.size()), tag + kept);
    if (same && from < to &&
        std::memcmp(piece.constData() + (from - at), kept_audio + (from - tag), to - from) != 0) {
      same = false;
    }
    at += uint64_t(piece.size());
  }
  layout->sha256 = hash.result().toHex().toStdString();
  layout->audioOffset = same ? tag : 0;
  layout->headBytes = same ? audio.size() - kept : audio.size();
  return Result::Ok();
}

Result SyncFile(const QString& path) {
  const int fd = open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileError("open", path);
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced ? Result::Ok() : FileError("write", path);
}

// Renames `from` to `to` unless `to` exists; *exists tells which.
Result RenameNoReplace(const QString& from, const QString& to, bool* exists) {
  const std::string source = NativePath(from), target = NativePath(to);
  *exists = false;
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return Result::Ok();
  }
  if (errno == EINVAL || errno == ENOSYS) {  // a file system without it: link, then unlink
    if (link(source.c_str(), target.c_str()) == 0) {
      unlink(source.c_str());
      return Result::Ok();
    }
  }
  if (errno == EEXIST) {
    *exists = true;
    return Result::Ok();
  }
  return FileError("rename into", to);
}

bool SameFile(const QString& path, const std::string& sha256) {
  std::string there;
  return QFileInfo(path).isFile() && Sha256OfFile(path, &there).ok() && there == sha256;
}

// Moves the temporary file to the first name that fits the placement.
Result PlaceFile(const QString& temporary, const TrackFileRequest& request,
                 const std::string& sha256, PathClaims* claims, WrittenTrackFile* written) {
  for (int n = 1; n <= kMaxNumberedNames; ++n) {
    const std::string candidate = NumberedPath(request.relative, n);
    if (claims->Claimed(candidate)) continue;
    const QString target = request.folder + "/" + QString::fromStdString(candidate);
    bool exists = false;
    if (n == 1 && request.placement == Placement::kReplaceOlderCopy) {
      if (std::rename(NativePath(temporary).c_str(), NativePath(target).c_str()) != 0) {
        return FileError("replace", target);
      }
    } else {
      Result r = RenameNoReplace(temporary, target, &exists);
      if (!r.ok()) return r;
    }
    if (exists && !SameFile(target, sha256)) continue;
    if (exists) {
      QFile::remove(temporary);
      written->adopted = true;
    }
    claims->Claim(candidate);
    written->copy.file = candidate;
    return Result::Ok();
  }
  return Result::Error(ResultCode::kIoError, "no free name for " + request.relative + " in " +
                                                 request.folder.toStdString());
}

// Keeps the bytes the file's own tag took the place of, named after their
// digest (a tag already kept is not written again).
Result KeepLeadingTag(const QString& folder, std::span<const uint8_t> head, BackupCopy* copy) {
  copy->leadingTag = std::string(kLeadingTagFolder) + "/" + Sha256Hex(head) + ".id3";
  copy->leadingTagSize = head.size();
  const QString path = folder + "/" + QString::fromStdString(copy->leadingTag);
  if (QFileInfo(path).isFile() && uint64_t(QFileInfo(path).size()) == head.size()) {
    return Result::Ok();
  }
  if (!QDir().mkpath(QFileInfo(path).path())) return FileError("create", QFileInfo(path).path());
  QSaveFile file(path);
  const qint64 size = qint64(head.size());
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(reinterpret_cast<const char*>(head.data()), size) != size || !file.commit()) {
    return FileError("write", path);
  }
  return Result::Ok();
}

Result WriteAndPlace(const QString& temporary, const TrackFileRequest& request,
                     std::span<const uint8_t> audio, PathClaims* claims,
                     WrittenTrackFile* written) {
  FileLayout layout;
  Result r = InspectExportedFile(temporary, audio, &layout);
  if (r.ok()) r = SyncFile(temporary);
  BackupCopy& copy = written->copy;
  copy.fileSize = layout.size;
  copy.fileSha256 = layout.sha256;
  copy.audioSha256 = Sha256Hex(audio);
  copy.audioOffset = layout.audioOffset;
  if (r.ok() && request.keepLeadingTag && layout.headBytes > 0) {
    r = KeepLeadingTag(request.folder, audio.first(layout.headBytes), &copy);
  }
  if (r.ok()) r = PlaceFile(temporary, request, layout.sha256, claims, written);
  const QString final_path = request.folder + "/" + QString::fromStdString(copy.file);
  uint64_t size = 0;
  if (r.ok() && !StatFile(final_path, &copy.fileModifiedNs, &size))
    r = FileError("stat", final_path);
  return r;
}

}  // namespace

std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool StatFile(const QString& path, int64_t* modified_ns, uint64_t* size) {
  struct stat info {};
  if (stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *modified_ns = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  *size = uint64_t(info.st_size);
  return true;
}

uint64_t LeadingId3v2Size(const QByteArray& header) {
  if (header.size() < 10 || !header.startsWith("ID3")) return 0;
  uint64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    const uint8_t byte = uint8_t(header[i]);
    if (byte & 0x80) return 0;  // not synchsafe: not a tag header
    size = size << 7 | byte;
  }
  const bool footer = (uint8_t(header[5]) & 0x10) != 0;
  return 10 + size + (footer ? 10 : 0);
}

Result WriteTrackFile(const TrackFileRequest& request, std::span<const uint8_t> audio,
                      jukepak::TagWriter& tag_writer, PathClaims* claims,
                      WrittenTrackFile* written) {
  *written = WrittenTrackFile();
  const QString dir =
      QFileInfo(request.folder + "/" + QString::fromStdString(request.relative)).path();
  if (!QDir().mkpath(dir)) return FileError("create", dir);
  const QString temporary = TemporaryPath(dir);
  Result r =
      jukepak::WriteExportFile(*request.cd, request.slot, audio, tag_writer, NativePath(temporary));
  if (!r.ok()) return r;
  r = WriteAndPlace(temporary, request, audio, claims, written);
  QFile::remove(temporary);  // gone already unless something failed
  return r;
}

}  // namespace frontend
