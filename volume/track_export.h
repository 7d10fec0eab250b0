// Copying a track back off the player as an MP3 file: its audio bytes, read
// along its chain, with tags rebuilt from the track and CD records: an
// ID3v2.3 tag (through the volume's TagWriter) and an ID3v1 block.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "volume/id3_tags.h"
#include "volume/player_volume.h"

namespace jukepak {

// The 128 bytes of an ID3v1 block as a file ends with them.
using Id3v1TagBytes = std::array<uint8_t, kId3v1Size>;

// "TAG", then title, artist and album (30 bytes each, Latin-1 as stored,
// cut to 30 and zero-padded), an empty year and comment, the track number
// (ID3v1.1: comment byte 28 zero, byte 29 the number; 0 leaves it out, as
// does a number above 255) and genre 255 (none).
Id3v1TagBytes BuildId3v1Tag(const std::string& title, const std::string& artist,
                           const std::string& album, uint32_t track_number);

// The track's audio bytes (its size field less the 1024 of the record),
// read cluster by cluster along its chain into *audio. Fails with kCorrupt,
// leaving *audio empty, when the record lacks "MPTK" or its size is below
// 1024, or when the chain leaves the audio area, meets a free entry, ends or
// loops before the last audio byte; with the driver's result when a read
// fails; with kCancelled when `progress` returns false. Reads only, while no
// other job runs (on the front end's thread or as a job of its own).
//
// `progress`, when given, is called after each cluster read with the number
// read so far and the number the track takes; returning false stops the
// read there.
using ReadProgress = std::function<bool(uint32_t clusters_read, uint32_t clusters)>;
Result ReadTrackAudio(PlayerVolume& volume, const TrackNode& track, std::vector<uint8_t>* audio,
                      const ReadProgress& progress = {});

// Writes track `slot` of `cd` to a new file at `path`: the audio bytes and
// the ID3v1 block, then the ID3v2.3 tag in front (or, when the audio bytes
// begin with an ID3v2 tag, that tag's texts updated). Both say the title and
// artist of the track record, the album of the CD record, the CD's artist as
// album artist (ID3v2) and the track number slot + 1. Never overwrites:
// fails with kBusy when `path` exists. A failed write removes the partial
// file.
Result ExportTrack(PlayerVolume& volume, const CdNode& cd, uint32_t slot, const std::string& path);

// The file part of ExportTrack, over audio bytes already read (ReadTrackAudio
// of track `slot` of `cd`): the same file, the same failures, tags through
// `writer`. Requires slot < cd.tracks.size().
Result WriteExportFile(const CdNode& cd, uint32_t slot, std::span<const uint8_t> audio,
                       TagWriter& writer, const std::string& path);

}  // namespace jukepak
