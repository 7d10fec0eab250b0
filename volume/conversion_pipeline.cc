#include "volume/conversion_pipeline.h"

#include <algorithm>
#include <chrono>

namespace jukepak {

ConversionPipeline::ConversionPipeline(AudioTranscoder& transcoder, std::vector<std::string> paths,
                                       uint32_t kbps, unsigned threads, size_t ahead)
    : transcoder_(transcoder), kbps_(kbps), ahead_(std::max<size_t>(ahead, 1)) {
  songs_.resize(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) songs_[i].path = std::move(paths[i]);
  const size_t count = std::min<size_t>(std::max(threads, 1u), songs_.size());
  for (size_t i = 0; i < count; ++i) threads_.emplace_back([this] { Convert(); });
}

ConversionPipeline::~ConversionPipeline() {
  Stop();
  for (std::thread& thread : threads_) thread.join();
}

unsigned ConversionPipeline::DefaultThreads() {
  return std::max(1u, std::thread::hardware_concurrency());
}

size_t ConversionPipeline::NextToStart() const {
  const size_t end = std::min(songs_.size(), consumed_ + ahead_);
  for (size_t i = consumed_; i < end; ++i) {
    if (songs_[i].state == State::kWaiting) return i;
  }
  return songs_.size();
}

void ConversionPipeline::Convert() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    size_t index = songs_.size();
    changed_.wait(lock, [&] {
      index = NextToStart();
      return stop_.load() || index < songs_.size() || consumed_ >= songs_.size();
    });
    if (stop_.load() || index >= songs_.size()) return;
    Song& song = songs_[index];
    song.state = State::kConverting;
    const std::string path = song.path;
    lock.unlock();
    auto audio = std::make_unique<EncodedAudio>();
    Result result = transcoder_.Convert(path, kbps_, stop_, audio.get());
    lock.lock();
    if (song.state == State::kConverting) {  // not skipped meanwhile
      song.result = std::move(result);
      song.audio = std::move(audio);
      song.state = State::kDone;
    }
    changed_.notify_all();
  }
}

void ConversionPipeline::Consumed(size_t index) {
  songs_[index].state = State::kGone;
  songs_[index].audio.reset();
  consumed_ = std::max(consumed_, index + 1);
  changed_.notify_all();
}

Result ConversionPipeline::Take(size_t index, const std::function<bool()>& cancelled,
                                std::unique_ptr<EncodedAudio>* audio) {
  const Result stopped = Result::Error(ResultCode::kCancelled, "The conversion was cancelled.");
  std::unique_lock<std::mutex> lock(mutex_);
  if (index >= songs_.size() || songs_[index].state == State::kGone) {
    return Result::Error(ResultCode::kInvalidArgument, "no conversion waits for this song");
  }
  // Songs before this one that the writer passed over free their places.
  for (size_t i = consumed_; i < index; ++i) Consumed(i);
  while (songs_[index].state != State::kDone) {
    if (stop_.load()) return stopped;
    if (cancelled && cancelled()) {
      stop_.store(true);
      changed_.notify_all();
      return stopped;
    }
    changed_.wait_for(lock, std::chrono::milliseconds(20));
  }
  Song& song = songs_[index];
  Result result = std::move(song.result);
  if (result.ok()) *audio = std::move(song.audio);
  Consumed(index);
  return result;
}

void ConversionPipeline::Skip(size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < songs_.size()) Consumed(index);
}

void ConversionPipeline::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_.store(true);
  changed_.notify_all();
}

}  // namespace jukepak
