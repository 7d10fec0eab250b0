// Small helpers for driving the check engine directly in tests: a sink that
// keeps every finding, a writer that applies writes to a device and logs
// them (and reads for copies of clusters), a poll hook that counts, and one
// whole check of a device as a run makes it.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "checker/check_engine.h"
#include "checker/volume_images.h"
#include "format/sector_device.h"

namespace jukepak::checker {

// Problems print as their names in test failures.
inline std::ostream& operator<<(std::ostream& os, Problem problem) {
  return os << DescribeProblem(problem).name;
}

namespace testing {

using Codes = std::vector<Problem>;

class RecordingSink : public FindingSink {
 public:
  void Found(const Finding& finding) override { findings.push_back(finding); }
  Codes codes() const;
  std::vector<Finding> findings;
};

struct WriteRecord {
  uint32_t sector;
  uint32_t count;
  bool operator==(const WriteRecord&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const WriteRecord& w) {
    return os << "sector " << w.sector << " x" << w.count;
  }
};

class DeviceLogWriter : public SectorWriter, public SectorReader {
 public:
  explicit DeviceLogWriter(SectorDevice* device) : device_(device) {}
  Result WriteSectors(uint32_t sector, uint32_t count, const uint8_t* data) override {
    log.push_back({sector, count});
    return device_->Write(sector, count, data);
  }
  Result ReadSectors(uint32_t sector, uint32_t count, uint8_t* out) override {
    return device_->Read(sector, count, out);
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

// What one check of a device found.
struct CheckResult {
  std::vector<Finding> findings;
  HeaderVerdict header = HeaderVerdict::kBeyondRepair;
  VolumeVerdict volume = VolumeVerdict::kClean;
  Result result;  // the device's or the engine's failure
  Codes codes() const;
  // Nothing found: a sound header and a clean volume.
  bool clean() const {
    return result.ok() && header == HeaderVerdict::kSound && volume == VolumeVerdict::kClean;
  }
};

// One whole check of the volume on `device` through the engine, as a run
// makes it: the header rules and verdict (a rebuilt header applied), then,
// unless it is beyond repair, VerifyVolume. `writer` nullptr: a dry run;
// else a repair that writes through it (and copies through it when it is a
// DeviceLogWriter). `choice` makes it ask.
CheckResult CheckDevice(SectorDevice& device, DeviceLogWriter* writer,
                        ProblemChoice* choice = nullptr, PollHook* poll = nullptr);

}  // namespace testing
}  // namespace jukepak::checker
