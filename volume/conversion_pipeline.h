// ConversionPipeline: converts the songs of a sync that are not MP3 on
// threads of its own, ahead of the writer, so that encoding overlaps the
// disk writes and every core encodes. Songs are converted in the order the
// writer will ask for them; at most `ahead` songs are converted (or being
// converted) past the last one the writer has taken, which bounds the
// memory the waiting MP3s take.
//
// Threads: the constructor starts the converter threads; Take, Skip and
// Stop are called by one thread, the writer's. The destructor stops and
// joins the converters (an unfinished conversion gives up within one
// packet).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/result.h"
#include "volume/audio_transcoder.h"
#include "volume/song_audio.h"

namespace jukepak {

class ConversionPipeline {
 public:
  // Starts min(threads, paths.size()) converters (at least one when there
  // is a path) over `transcoder`, which must outlive the pipeline. `ahead`
  // is at least 1.
  ConversionPipeline(AudioTranscoder& transcoder, std::vector<std::string> paths, uint32_t kbps,
                     unsigned threads, size_t ahead);
  ~ConversionPipeline();
  ConversionPipeline(const ConversionPipeline&) = delete;
  ConversionPipeline& operator=(const ConversionPipeline&) = delete;

  // The converter threads a sync uses: one per core.
  static unsigned DefaultThreads();

  // Waits for the conversion of song `index` and hands over its MP3 in
  // *audio, or its failure. While waiting it asks `cancelled` every few
  // hundredths of a second and gives up with kCancelled when it says so.
  // Songs are taken or skipped in increasing index order, each once.
  Result Take(size_t index, const std::function<bool()>& cancelled,
              std::unique_ptr<EncodedAudio>* audio);
  // The writer will not need song `index` (a duplicate, or the job ends):
  // it is not converted, or its MP3 is dropped.
  void Skip(size_t index);
  // Stops every conversion; later Takes fail with kCancelled.
  void Stop();

 private:
  enum class State { kWaiting, kConverting, kDone, kGone };
  struct Song {
    std::string path;
    State state = State::kWaiting;
    Result result;
    std::unique_ptr<EncodedAudio> audio;
  };

  void Convert();
  // The next song a converter may start, or songs_.size() when none may now.
  size_t NextToStart() const;
  void Consumed(size_t index);

  AudioTranscoder& transcoder_;
  const uint32_t kbps_;
  const size_t ahead_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Song> songs_;
  size_t consumed_ = 0;  // songs before this index are taken or skipped
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

}  // namespace jukepak
