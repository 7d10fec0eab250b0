// SHA-256 digests, as lowercase hex, of bytes in memory and of files or
// ranges of files, read in bounded pieces.
#pragma once

#include <QString>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "volume/song_audio.h"

namespace frontend {

std::string Sha256Hex(std::span<const uint8_t> bytes);

// The digest of the whole file at `path`. kNotFound when it cannot be
// opened, kIoError when a read fails.
jukepak::Result Sha256OfFile(const QString& path, std::string* hex);

// The digest of the pieces' bytes one after the other. Fails with kNotFound
// when a file cannot be opened and kCorrupt when one ends before its piece
// does (the message names the file).
jukepak::Result Sha256OfPieces(const std::vector<jukepak::FilePiece>& pieces, std::string* hex);

}  // namespace frontend
