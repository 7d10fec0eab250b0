// The frame scanner's speed in MB/s.
//
//   bench_mpeg_scanner [FILE] [--repeat N]   scan FILE (default: 256 MB of
//                                            frames built here) N times
//   bench_mpeg_scanner --make FILE MB        write MB megabytes of MP3
//                                            frames (for sync_vs_cp.sh)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "volume/mpeg_frame_scanner.h"

namespace {

// MPEG-1 Layer III 128 kbit/s 44.1 kHz frames, every third one padded, as an
// encoder writes them, behind a 4 KB ID3v2.3 tag.
std::vector<uint8_t> SyntheticMp3(size_t megabytes) {
  std::vector<uint8_t> bytes = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x20, 0};
  bytes.resize(10 + 4096, 0);
  const size_t target = megabytes << 20;
  for (size_t frame = 0; bytes.size() < target; ++frame) {
    const bool padded = frame % 3 == 0;
    const uint8_t header[4] = {0xFF, 0xFB, uint8_t(padded ? 0x92 : 0x90), 0x64};
    bytes.insert(bytes.end(), header, header + 4);
    const size_t payload = (padded ? 418 : 417) - 4;
    for (size_t i = 0; i < payload; ++i) bytes.push_back(uint8_t((frame * 31 + i * 7) & 0x7F));
  }
  return bytes;
}

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--make") == 0) {
    const std::vector<uint8_t> bytes = SyntheticMp3(size_t(std::atol(argv[3])));
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return out.good() ? 0 : 1;
  }
  int repeat = 5;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else {
      file = argv[i];
    }
  }
  std::vector<uint8_t> audio;
  if (file != nullptr) {
    if (!ReadFile(file, &audio)) {
      std::fprintf(stderr, "bench_mpeg_scanner: cannot read %s\n", file);
      return 1;
    }
  } else {
    audio = SyntheticMp3(256);
  }
  std::vector<double> times((audio.size() + 10239) / 8192, 0.0);
  double best = 1e30, play = 0;
  uint64_t frames = 0;
  for (int r = 0; r < repeat; ++r) {
    const auto start = std::chrono::steady_clock::now();
    play = jukepak::ScanMpegFrames(audio, times, &frames);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
  }
  std::printf("%s: %.1f MB, %llu frames, %.1f s of audio; best of %d: %.3f s, %.0f MB/s\n",
              file != nullptr ? file : "synthetic", audio.size() / 1e6,
              static_cast<unsigned long long>(frames), play, repeat, best,
              audio.size() / 1e6 / best);
  return 0;
}
