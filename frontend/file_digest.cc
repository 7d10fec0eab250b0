#include "frontend/file_digest.h"

#include <QCryptographicHash>
#include <QFile>

namespace frontend {
namespace {

using jukepak::Result;
using jukepak::ResultCode;

constexpr qint64 kPieceBytes = 1 << 20;

std::string Hex(const QCryptographicHash& hash) { return hash.result().toHex().toStdString(); }

// Adds `length` bytes of `file` from its current position; false when the
// file ends first or a read fails.
bool AddRange(QFile& file, uint64_t length, QCryptographicHash* hash) {
  QByteArray buffer;
  while (length > 0) {
    buffer = file.read(qint64(std::min<uint64_t>(length, kPieceBytes)));
    if (buffer.isEmpty()) return false;
    hash->addData(buffer);
    length -= uint64_t(buffer.size());
  }
  return true;
}

}  // namespace

std::string Sha256Hex(std::span<const uint8_t> bytes) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(
      QByteArrayView(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
  return Hex(hash);
}

Result Sha256OfFile(const QString& path, std::string* hex) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Result::Error(ResultCode::kNotFound, "cannot open " + path.toStdString());
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file) || file.error() != QFileDevice::NoError) {
    return Result::Error(ResultCode::kIoError, "cannot read " + path.toStdString());
  }
  *hex = Hex(hash);
  return Result::Ok();
}

Result Sha256OfPieces(const std::vector<jukepak::FilePiece>& pieces, std::string* hex) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  for (const jukepak::FilePiece& piece : pieces) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(piece.path)));
    if (!file.open(QIODevice::ReadOnly)) {
      return Result::Error(ResultCode::kNotFound, "cannot open " + piece.path);
    }
    if (!file.seek(qint64(piece.offset)) || !AddRange(file, piece.length, &hash)) {
      return Result::Error(ResultCode::kCorrupt, piece.path + " is shorter than the backup says");
    }
  }
  *hex = Hex(hash);
  return Result::Ok();
}

}  // namespace frontend
