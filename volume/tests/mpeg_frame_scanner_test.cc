// The frame scanner on frames built by hand: lengths and durations of every
// MPEG version and layer, unusable headers, ID3v2 tags of each version and
// the cluster start times.

#include "volume/mpeg_frame_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <vector>

#include "volume/id3_tags.h"
#include "volume/tests/test_media.h"

namespace jukepak {
namespace {

using testing::Append;
using testing::Frames;

double Scan(const std::vector<uint8_t>& audio, std::vector<double>* times = nullptr,
            uint64_t* frames = nullptr) {
  std::vector<double> own((audio.size() + 10239) / 8192, 0.0);
  std::vector<double>& t = times != nullptr ? *times : own;
  if (t.empty()) t.assign((audio.size() + 10239) / 8192, 0.0);
  return ScanMpegFrames(audio, t, frames);
}

TEST(MpegFrameHeader, LengthsAndDurationsOfEachVersionAndLayer) {
  struct Case {
    uint32_t header;
    uint32_t length;
    uint32_t samples;
    uint32_t rate;
  } cases[] = {
      {0xFFFB9064, 417, 1152, 44100},                       // MPEG-1 L3 128k 44.1k
      {0xFFFB9264, 418, 1152, 44100},                       // the same, padded
      {0xFFFD8004, 417, 1152, 44100},                       // MPEG-1 L2 128k (index 8)
      {0xFFFF9004, (12 * 288000 / 44100) * 4, 384, 44100},  // MPEG-1 L1 288k
      {0xFFFF9204, (12 * 288000 / 44100 + 1) * 4, 384, 44100},
      {0xFFF38004, 72 * 64000 / 22050, 576, 22050},  // MPEG-2 L3 64k 22.05k
      {0xFFF38204, 72 * 64000 / 22050 + 1, 576, 22050},
      {0xFFF38404, 72 * 64000 / 24000, 576, 24000},
      {0xFFF38804, 72 * 64000 / 16000, 576, 16000},
      {0xFFF58004, 144 * 64000 / 22050, 1152, 22050},       // MPEG-2 L2: 1152 samples
      {0xFFF78004, (12 * 128000 / 22050) * 4, 384, 22050},  // MPEG-2 L1 128k (index 8)
      {0xFFE34004, 72 * 32000 / 11025, 576, 11025},         // MPEG-2.5 L3 32k
      {0xFFE34404, 72 * 32000 / 12000, 576, 12000},
      {0xFFE34804, 72 * 32000 / 8000, 576, 8000},
  };
  for (const Case& c : cases) {
    MpegFrameHeader frame;
    ASSERT_TRUE(DecodeMpegFrameHeader(c.header, &frame)) << std::hex << c.header;
    EXPECT_EQ(frame.frameLength, c.length) << std::hex << c.header;
    EXPECT_EQ(frame.samples, c.samples) << std::hex << c.header;
    EXPECT_EQ(frame.sampleRate, c.rate) << std::hex << c.header;
  }
}

TEST(MpegFrameHeader, UnusableFieldsAreRefused) {
  MpegFrameHeader frame;
  EXPECT_FALSE(DecodeMpegFrameHeader(0xFFFB0064, &frame));  // bitrate index 0 (free format)
  EXPECT_FALSE(DecodeMpegFrameHeader(0xFFFBF064, &frame));  // bitrate index 15
  EXPECT_FALSE(DecodeMpegFrameHeader(0xFFFB9C64, &frame));  // sample-rate index 3
  EXPECT_FALSE(DecodeMpegFrameHeader(0xFFEB9064, &frame));  // version 01
  EXPECT_FALSE(DecodeMpegFrameHeader(0xFFF99064, &frame));  // layer 00
  EXPECT_FALSE(DecodeMpegFrameHeader(0xFF7B9064, &frame));  // a sync bit missing
}

TEST(ScanMpegFrames, Mpeg1FramesAddTheirDuration) {
  uint64_t frames = 0;
  const double time = Scan(Frames(0xFFFB9064, 417, 100), nullptr, &frames);
  EXPECT_EQ(frames, 100u);
  EXPECT_NEAR(time, 100 * 1152.0 / 44100.0, 1e-9);
}

TEST(ScanMpegFrames, Mpeg2LayerIIIWithMixedPaddingStaysOnTheFrames) {
  // LAME pads some 22.05 kHz frames and not others; a scan that took the
  // frames for 1152-sample ones would jump past the next header.
  std::vector<uint8_t> audio;
  for (int i = 0; i < 200; ++i) {
    const bool padded = i % 3 == 0;
    Append(&audio, Frames(padded ? 0xFFF38204 : 0xFFF38004, padded ? 209 : 208, 1));
  }
  uint64_t frames = 0;
  const double time = Scan(audio, nullptr, &frames);
  EXPECT_EQ(frames, 200u);
  EXPECT_NEAR(time, 200 * 576.0 / 22050.0, 1e-9);
}

TEST(ScanMpegFrames, LayerIFramesAreFourByteSlots) {
  const uint32_t length = (12 * 288000 / 44100) * 4;
  uint64_t frames = 0;
  const double time = Scan(Frames(0xFFFF9004, length, 50), nullptr, &frames);
  EXPECT_EQ(frames, 50u);
  EXPECT_NEAR(time, 50 * 384.0 / 44100.0, 1e-9);
}

TEST(ScanMpegFrames, JunkAndUnusableHeadersMoveOnByOneByte) {
  std::vector<uint8_t> audio = {0x00, 0xFF, 0xFB, 0x00, 0x64, 0xFF, 0xFB, 0xF0, 0x64, 0x12};
  Append(&audio, Frames(0xFFFB9064, 417, 3));
  uint64_t frames = 0;
  const double time = Scan(audio, nullptr, &frames);
  EXPECT_EQ(frames, 3u);
  EXPECT_NEAR(time, 3 * 1152.0 / 44100.0, 1e-9);

  std::vector<uint8_t> nothing(20000, 0xFF);  // all sync bits, reserved version and layer
  EXPECT_EQ(Scan(nothing), 0.0);
  EXPECT_EQ(Scan({}), 0.0);
}

TEST(ScanMpegFrames, TruncatedLastFrameIsCountedAndTheScanEnds) {
  std::vector<uint8_t> audio = Frames(0xFFFB9064, 417, 10);
  audio.resize(audio.size() - 300);
  uint64_t frames = 0;
  Scan(audio, nullptr, &frames);
  EXPECT_EQ(frames, 10u);
}

TEST(ScanMpegFrames, ClusterTimesHoldTheFirstFrameStartOfEachCluster) {
  const std::vector<uint8_t> audio = Frames(0xFFFB9064, 417, 100);  // 41700 bytes
  std::vector<double> times;
  Scan(audio, &times);
  ASSERT_EQ(times.size(), (41700u + 10239) / 8192);
  EXPECT_EQ(times[0], 0.0);
  for (size_t c = 1; c < times.size(); ++c) {
    // The first frame starting at or after byte c * 8192 - 1024 of the audio.
    const uint64_t first_frame = (c * 8192 - 1024 + 416) / 417;
    if (first_frame >= 100) {
      EXPECT_EQ(times[c], 0.0) << c;
    } else {
      EXPECT_NEAR(times[c], double(first_frame) * 1152.0 / 44100.0, 1e-9) << c;
    }
  }
}

std::vector<uint8_t> Id3v2(uint8_t major, uint8_t flags, uint32_t body, bool footer) {
  std::vector<uint8_t> tag = {'I',
                              'D',
                              '3',
                              major,
                              0,
                              flags,
                              uint8_t((body >> 21) & 0x7F),
                              uint8_t((body >> 14) & 0x7F),
                              uint8_t((body >> 7) & 0x7F),
                              uint8_t(body & 0x7F)};
  // The body looks like frames, as a picture may: a scan into it miscounts.
  for (uint32_t i = 0; i < body; i += 4) {
    const uint8_t fake[4] = {0xFF, 0xFB, 0x90, 0x64};
    for (uint32_t k = 0; k < 4 && i + k < body; ++k) tag.push_back(fake[k]);
  }
  if (footer) {
    const std::vector<uint8_t> foot = {'3',   'D',    'I',    major,  0,
                                       flags, tag[6], tag[7], tag[8], tag[9]};
    Append(&tag, foot);
  }
  return tag;
}

TEST(ScanMpegFrames, SkipsId3v2TagsOfEveryVersion) {
  const std::vector<uint8_t> frames = Frames(0xFFFB9064, 417, 40);
  struct Case {
    uint8_t major;
    uint8_t flags;
    bool footer;
  } cases[] = {{2, 0, false}, {3, 0, false}, {4, 0, false}, {4, 0x10, true}};
  for (const Case& c : cases) {
    std::vector<uint8_t> audio = Id3v2(c.major, c.flags, 20000, c.footer);
    EXPECT_EQ(Id3v2TagLength(audio), 20010u + (c.footer ? 10 : 0)) << int(c.major);
    Append(&audio, frames);
    std::vector<double> times;
    uint64_t count = 0;
    Scan(audio, &times, &count);
    EXPECT_EQ(count, 40u) << "ID3v2." << int(c.major);
    // Clusters inside the tag record no frame start.
    EXPECT_EQ(times[1], 0.0);
    EXPECT_EQ(times[2], 0.0);
  }
}

TEST(MpegFrameScan, PiecesOfAnySizeGiveTheScanOfTheWhole) {
  // A tag, junk with false sync bytes, and frames of two lengths, so that
  // headers and the tag's header straddle the cuts between pieces.
  std::vector<uint8_t> audio = Id3v2(3, 0, 3000, false);
  Append(&audio, {0x00, 0xFF, 0xFB, 0x00, 0x64, 0xFF});
  Append(&audio, Frames(0xFFFB9064, 417, 30));
  Append(&audio, Frames(0xFFFB9264, 418, 30));
  audio.resize(audio.size() - 100);  // the last frame cut short
  std::vector<uint8_t> untagged = Frames(0xFFFB9064, 417, 25);
  untagged.insert(untagged.begin(), 3, 0x00);
  for (const std::vector<uint8_t>* bytes : {&audio, &untagged}) {
    std::vector<double> whole_times;
    uint64_t whole_frames = 0;
    const double whole = Scan(*bytes, &whole_times, &whole_frames);
    ASSERT_EQ(whole_frames, bytes == &audio ? 60u : 25u);
    for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(9), size_t(416),
                         size_t(4096), bytes->size()}) {
      std::vector<double> times(whole_times.size(), 0.0);
      MpegFrameScan scan(times, bytes->size());
      for (size_t at = 0; at < bytes->size(); at += piece) {
        scan.Feed(
            std::span<const uint8_t>(*bytes).subspan(at, std::min(piece, bytes->size() - at)));
      }
      EXPECT_EQ(scan.frames(), whole_frames) << "pieces of " << piece;
      EXPECT_DOUBLE_EQ(scan.time(), whole) << "pieces of " << piece;
      EXPECT_EQ(times, whole_times) << "pieces of " << piece;
    }
  }
}

TEST(Id3v2TagLength, MalformedOrOverlongTagsAreNoTags) {
  std::vector<uint8_t> tag = Id3v2(3, 0, 100, false);
  EXPECT_EQ(Id3v2TagLength(tag), 110u);
  EXPECT_EQ(Id3v2TagLength(std::span<const uint8_t>(tag.data(), 109)), 0u);  // runs past the file
  tag[7] = 0x80;                                                             // not synchsafe
  EXPECT_EQ(Id3v2TagLength(tag), 0u);
  std::vector<uint8_t> v5 = Id3v2(5, 0, 100, false);
  EXPECT_EQ(Id3v2TagLength(v5), 0u);
  EXPECT_EQ(Id3v2TagLength(std::vector<uint8_t>{'I', 'D', '3'}), 0u);

  // A tag that claims more than the file holds is scanned as audio.
  std::vector<uint8_t> audio = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
  Append(&audio, Frames(0xFFFB9064, 417, 5));
  uint64_t frames = 0;
  Scan(audio, nullptr, &frames);
  EXPECT_EQ(frames, 5u);
}

}  // namespace
}  // namespace jukepak
