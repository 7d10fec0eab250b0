// A song's audio bytes as the sync writes them, handed out in pieces, so
// that no source has to hold a whole file for its reader: an MP3 file less
// its trailing ID3v1 block, what the encoder made of a song in another
// format, or ranges of files one after the other (a song restored from a
// backup).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "volume/source_file.h"

namespace jukepak {

class SongAudio {
 public:
  virtual ~SongAudio() = default;
  // The number of audio bytes the song has.
  virtual uint64_t size() const = 0;
  // Copies the next bytes, at most `capacity`, to `out` and sets *got; *got
  // is 0 once every byte has been handed out. Fails when the bytes cannot be
  // read (the message names the file).
  virtual Result Read(uint8_t* out, size_t capacity, size_t* got) = 0;
};

// The first `audio_bytes` bytes of an MP3 file (the caller has left out its
// ID3v1 block). The file must stay as it was when the song was added: one
// that has become shorter is a read failure, and one whose size is no longer
// the audio bytes and at most an ID3v1 block, or that changes while it is
// read, is refused with kFileChanged (kIoError) when opened or once its last
// byte is read, so a track is never made of bytes of two versions.
class Mp3FileAudio : public SongAudio {
 public:
  // Fails with "Could not open file!" (kNotFound), or kFileChanged.
  Result Open(const std::string& path, uint64_t audio_bytes);
  uint64_t size() const override { return size_; }
  Result Read(uint8_t* out, size_t capacity, size_t* got) override;

 private:
  SourceFile file_;
  uint64_t size_ = 0;
  uint64_t offset_ = 0;
};

// `length` bytes of the file at `path` from byte `offset`.
struct FilePiece {
  std::string path;
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The pieces' bytes, in order. Each file is opened when its piece comes up;
// a file that cannot be opened is "Could not open file!", one that ends
// before its piece does a read failure.
class FilePiecesAudio : public SongAudio {
 public:
  explicit FilePiecesAudio(std::vector<FilePiece> pieces);
  uint64_t size() const override { return size_; }
  Result Read(uint8_t* out, size_t capacity, size_t* got) override;

 private:
  std::vector<FilePiece> pieces_;
  uint64_t size_ = 0;
  size_t piece_ = 0;       // the piece being read
  uint64_t done_ = 0;      // bytes of it handed out
  bool open_ = false;      // file_ holds the piece's file
  SourceFile file_;
};

// Encoder output, kept in pieces as it arrives. Filled by one thread, then
// handed to the reader.
class EncodedAudio : public SongAudio {
 public:
  void Append(std::span<const uint8_t> bytes);
  uint64_t size() const override { return size_; }
  Result Read(uint8_t* out, size_t capacity, size_t* got) override;

 private:
  static constexpr size_t kPieceSize = 256 * 1024;
  std::vector<std::vector<uint8_t>> pieces_;
  uint64_t size_ = 0;
  size_t read_piece_ = 0;
  size_t read_offset_ = 0;
};

}  // namespace jukepak
