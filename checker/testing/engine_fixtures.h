// Small helpers for driving the check engine directly in tests: a sink that
// keeps every finding, a writer that applies writes to a device and logs
// them, and a poll hook that counts.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "checker/check_engine.h"
#include "checker/volume_images.h"
#include "format/sector_device.h"

namespace jukepak::checker::testing {

class RecordingSink : public MessageSink {
 public:
  void Message(std::string_view text) override { messages.emplace_back(text); }
  std::vector<std::string> messages;
};

struct WriteRecord {
  uint32_t sector;
  uint32_t count;
  bool operator==(const WriteRecord&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const WriteRecord& w) {
    return os << "sector " << w.sector << " x" << w.count;
  }
};

class DeviceLogWriter : public SectorWriter {
 public:
  explicit DeviceLogWriter(SectorDevice* device) : device_(device) {}
  Result WriteSectors(uint32_t sector, uint32_t count, const uint8_t* data) override {
    log.push_back({sector, count});
    return device_->Write(sector, count, data);
  }
  std::vector<WriteRecord> log;

 private:
  SectorDevice* device_;
};

class CountingPoll : public PollHook {
 public:
  bool StopRequested() override {
    ++polls;
    return stopAt != 0 && polls >= stopAt;
  }
  uint64_t polls = 0;
  uint64_t stopAt = 0;
};

// Reads the images of the volume on `device` (header first) the way a check
// run does, without progress; fails when the device fails.
Result LoadImages(SectorDevice& device, VolumeImages* images);

// One whole check of the volume on `device` through the engine: the header
// checks, then, when sound, VerifyVolume with `writer` (nullptr: dry run).
// Returns the findings; *verdict gets VerifyVolume's verdict, or 2 for a bad
// header.
std::vector<std::string> CheckDevice(SectorDevice& device, SectorWriter* writer, int* verdict,
                                     RestartPolicy policy = RestartPolicy::kResume);

}  // namespace jukepak::checker::testing
