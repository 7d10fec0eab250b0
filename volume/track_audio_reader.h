// TrackAudioReader: reads the audio of the tracks a sync writes, one track at
// a time, on a thread of its own, so that reading the file and scanning its
// frames overlap the writer's driver calls. The audio comes in pieces of
// whole clusters laid out as the track lies in its chain: the first piece
// starts with the 1024 bytes the track record takes (left zero), and the
// bytes after the last audio byte are zero. The frames are scanned as each
// piece is read, so the cluster start times are known once the last piece
// is.
//
// Memory: at most kBuffers pieces exist at once (read ahead, queued or in the
// writer's hands), kept from track to track, however long the track.
//
// Threads: one thread, the writer's, calls every method; the reading thread
// is the object's own, started with the first track and joined by the
// destructor.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/result.h"
#include "volume/song_audio.h"

namespace jukepak {

class TrackAudioReader {
 public:
  static constexpr uint32_t kPieceClusters = 128;  // 1 MB
  static constexpr size_t kBuffers = 4;

  // Clusters [firstCluster, firstCluster + clusters) of the track's chain.
  struct Piece {
    uint32_t firstCluster = 0;
    uint32_t clusters = 0;             // 0: the track has no more pieces
    std::unique_ptr<uint8_t[]> bytes;  // clusters * 8192
  };

  TrackAudioReader() = default;
  ~TrackAudioReader();
  TrackAudioReader(const TrackAudioReader&) = delete;
  TrackAudioReader& operator=(const TrackAudioReader&) = delete;

  // Starts reading `audio`, a track of `clusters` clusters, at least enough
  // for its bytes behind the record. The track before must have been read
  // to its end or abandoned.
  void Start(std::unique_ptr<SongAudio> audio, uint32_t clusters);
  // Waits for the track's next piece; piece->clusters is 0 after the last.
  // A failed read of the audio comes back here, with the source's message;
  // the track is abandoned then.
  Result Next(Piece* piece);
  // Hands back a piece the writer is done with, for the pieces to come.
  void Recycle(Piece piece);
  // Once Next has said the track ended: its play time and the start time of
  // each chain cluster (as ScanMpegFrames gives them).
  void TakeScan(double* time, std::vector<double>* cluster_times);
  // Stops reading the track in hand and waits until the reading thread has
  // let go of its audio. Pieces not taken are dropped.
  void Abandon();

 private:
  struct Track {
    std::unique_ptr<SongAudio> audio;
    uint32_t clusters = 0;
    uint64_t generation = 0;
  };

  void ReadTracks();
  // Reads and scans the pieces of `track` until its end, a failure or an
  // abandon.
  void ReadTrack(Track& track);
  // A free buffer, waited for. Null when the track is abandoned meanwhile,
  // or when no memory is left (*out_of_memory is set then).
  std::unique_ptr<uint8_t[]> TakeBuffer(uint64_t generation, bool* out_of_memory);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  bool quit_ = false;
  uint64_t generation_ = 0;       // grows with each track and each abandon
  std::unique_ptr<Track> track_;  // handed to the reading thread; null while idle
  bool reading_ = false;          // the reading thread holds a track
  std::deque<Piece> ready_;
  std::vector<std::unique_ptr<uint8_t[]>> free_;
  size_t buffers_ = 0;  // allocated so far
  bool ended_ = false;  // the track's last piece is queued
  Result failure_;
  double time_ = 0.0;
  std::vector<double> cluster_times_;
};

}  // namespace jukepak
