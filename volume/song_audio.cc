#include "volume/song_audio.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "volume/id3_tags.h"
#include "volume/pending_list.h"

namespace jukepak {

Result Mp3FileAudio::Open(const std::string& path, uint64_t audio_bytes) {
  size_ = audio_bytes;
  offset_ = 0;
  Result r = file_.Open(path, kCouldNotOpenFile);
  if (!r.ok()) return r;
  if (file_.size() != audio_bytes && file_.size() != audio_bytes + kId3v1Size) {
    return Result::Error(ResultCode::kIoError, kFileChanged);
  }
  return Result::Ok();
}

Result Mp3FileAudio::Read(uint8_t* out, size_t capacity, size_t* got) {
  const size_t length = size_t(std::min<uint64_t>(capacity, size_ - offset_));
  *got = 0;
  if (length == 0) return Result::Ok();
  Result r = file_.ReadAt(offset_, length, out, kCouldNotReadFile);
  if (!r.ok()) return r;
  offset_ += length;
  *got = length;
  return offset_ == size_ ? file_.CheckUnchanged(kFileChanged) : Result::Ok();
}

FilePiecesAudio::FilePiecesAudio(std::vector<FilePiece> pieces) : pieces_(std::move(pieces)) {
  for (const FilePiece& piece : pieces_) size_ += piece.length;
}

Result FilePiecesAudio::Read(uint8_t* out, size_t capacity, size_t* got) {
  *got = 0;
  while (*got < capacity && piece_ < pieces_.size()) {
    const FilePiece& piece = pieces_[piece_];
    if (done_ == piece.length) {
      ++piece_;
      done_ = 0;
      open_ = false;
      continue;
    }
    if (!open_) {
      Result r = file_.Open(piece.path, kCouldNotOpenFile);
      if (!r.ok()) return r;
      open_ = true;
    }
    const size_t length = size_t(std::min<uint64_t>(capacity - *got, piece.length - done_));
    Result r = file_.ReadAt(piece.offset + done_, length, out + *got, kCouldNotReadFile);
    if (!r.ok()) return r;
    done_ += length;
    *got += length;
  }
  return Result::Ok();
}

void EncodedAudio::Append(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    if (pieces_.empty() || pieces_.back().size() == kPieceSize) {
      pieces_.emplace_back();
      pieces_.back().reserve(kPieceSize);
    }
    std::vector<uint8_t>& piece = pieces_.back();
    const size_t take = std::min(bytes.size(), kPieceSize - piece.size());
    piece.insert(piece.end(), bytes.begin(), bytes.begin() + take);
    bytes = bytes.subspan(take);
    size_ += take;
  }
}

Result EncodedAudio::Read(uint8_t* out, size_t capacity, size_t* got) {
  *got = 0;
  while (*got < capacity && read_piece_ < pieces_.size()) {
    const std::vector<uint8_t>& piece = pieces_[read_piece_];
    const size_t take = std::min(capacity - *got, piece.size() - read_offset_);
    std::memcpy(out + *got, piece.data() + read_offset_, take);
    *got += take;
    read_offset_ += take;
    if (read_offset_ == piece.size()) {
      ++read_piece_;
      read_offset_ = 0;
    }
  }
  return Result::Ok();
}

}  // namespace jukepak
