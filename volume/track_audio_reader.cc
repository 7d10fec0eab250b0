#include "volume/track_audio_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>

#include "format/format_constants.h"
#include "volume/mpeg_frame_scanner.h"
#include "volume/pending_list.h"

namespace jukepak {

TrackAudioReader::~TrackAudioReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    ++generation_;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TrackAudioReader::Start(std::unique_ptr<SongAudio> audio, uint32_t clusters) {
  auto track = std::make_unique<Track>();
  track->audio = std::move(audio);
  track->clusters = clusters;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    track->generation = ++generation_;
    track_ = std::move(track);
    ended_ = false;
    failure_ = Result::Ok();
    time_ = 0.0;
    cluster_times_.clear();
  }
  if (!thread_.joinable()) thread_ = std::thread(&TrackAudioReader::ReadTracks, this);
  changed_.notify_all();
}

Result TrackAudioReader::Next(Piece* piece) {
  *piece = Piece();
  Result failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty() || ended_ || !failure_.ok(); });
    failure = failure_;
    if (failure.ok()) {
      if (!ready_.empty()) {
        *piece = std::move(ready_.front());
        ready_.pop_front();
      }
      return Result::Ok();
    }
  }
  Abandon();
  return failure;
}

void TrackAudioReader::Recycle(Piece piece) {
  if (piece.bytes == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(piece.bytes));
  }
  changed_.notify_all();
}

void TrackAudioReader::TakeScan(double* time, std::vector<double>* cluster_times) {
  std::lock_guard<std::mutex> lock(mutex_);
  *time = time_;
  *cluster_times = std::move(cluster_times_);
  cluster_times_.clear();
}

void TrackAudioReader::Abandon() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++generation_;
  track_.reset();  // one the reading thread has not taken up yet
  for (Piece& piece : ready_) free_.push_back(std::move(piece.bytes));
  ready_.clear();
  changed_.notify_all();
  changed_.wait(lock, [&] { return !reading_; });
  ended_ = false;
  failure_ = Result::Ok();
}

void TrackAudioReader::ReadTracks() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return quit_ || track_ != nullptr; });
    if (quit_) return;
    std::unique_ptr<Track> track = std::move(track_);
    reading_ = true;
    lock.unlock();
    ReadTrack(*track);
    track.reset();  // closes the file before the writer hears the reader is idle
    lock.lock();
    reading_ = false;
    changed_.notify_all();
  }
}

void TrackAudioReader::ReadTrack(Track& track) {
  const uint64_t audio_size = track.audio->size();
  std::vector<double> times(track.clusters, 0.0);
  MpegFrameScan scan(times, audio_size);
  uint64_t audio_read = 0;
  for (uint32_t first = 0; first < track.clusters; first += kPieceClusters) {
    Piece piece;
    piece.firstCluster = first;
    piece.clusters = std::min(kPieceClusters, track.clusters - first);
    bool out_of_memory = false;
    piece.bytes = TakeBuffer(track.generation, &out_of_memory);
    Result r;
    if (out_of_memory)
      r = Result::Error(ResultCode::kNoSpace, "Not enough memory to read the file!");
    if (piece.bytes == nullptr && r.ok()) return;  // abandoned

    // The audio bytes of these clusters, behind the record's place in the first.
    const size_t piece_bytes = size_t(piece.clusters) * format::kClusterSize;
    const size_t start = first == 0 ? format::kTrackRecordSize : 0;
    const size_t wanted = size_t(std::min<uint64_t>(piece_bytes - start, audio_size - audio_read));
    size_t filled = 0;
    while (r.ok() && filled < wanted) {
      size_t got = 0;
      r = track.audio->Read(piece.bytes.get() + start + filled, wanted - filled, &got);
      if (r.ok() && got == 0) r = Result::Error(ResultCode::kIoError, kCouldNotReadFile);
      filled += got;
    }
    if (r.ok()) {
      audio_read += filled;
      std::memset(piece.bytes.get(), 0, start);
      std::memset(piece.bytes.get() + start + filled, 0, piece_bytes - start - filled);
      scan.Feed(std::span<const uint8_t>(piece.bytes.get() + start, filled));
    }

    std::lock_guard<std::mutex> lock(mutex_);
    if (piece.bytes != nullptr && (!r.ok() || generation_ != track.generation)) {
      free_.push_back(std::move(piece.bytes));
    }
    if (generation_ != track.generation) return;
    if (!r.ok()) {
      failure_ = r;
      changed_.notify_all();
      return;
    }
    ready_.push_back(std::move(piece));
    changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (generation_ != track.generation) return;
  time_ = scan.time();
  cluster_times_ = std::move(times);
  ended_ = true;
  changed_.notify_all();
}

std::unique_ptr<uint8_t[]> TrackAudioReader::TakeBuffer(uint64_t generation, bool* out_of_memory) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock,
                [&] { return generation_ != generation || !free_.empty() || buffers_ < kBuffers; });
  if (generation_ != generation) return nullptr;
  if (!free_.empty()) {
    std::unique_ptr<uint8_t[]> buffer = std::move(free_.back());
    free_.pop_back();
    return buffer;
  }
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                        uint8_t[size_t(kPieceClusters) * format::kClusterSize]);
  if (buffer == nullptr) {
    *out_of_memory = true;
  } else {
    ++buffers_;
  }
  return buffer;
}

}  // namespace jukepak
