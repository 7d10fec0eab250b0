#include "checker/testing/engine_fixtures.h"

#include "format/header_verdict.h"

namespace jukepak::checker::testing {
namespace {

class SilentProgress : public ReadProgress {
 public:
  void Progress(const char*) override {}
  bool StopRequested() override { return false; }
};

Codes CodesOf(const std::vector<Finding>& findings) {
  Codes codes;
  for (const Finding& f : findings) codes.push_back(f.problem);
  return codes;
}

}  // namespace

Codes RecordingSink::codes() const { return CodesOf(findings); }
Codes CheckResult::codes() const { return CodesOf(findings); }

Result LoadImages(SectorDevice& device, VolumeImages* images) {
  Result r = device.QuerySectorCount(&images->sectorCount);
  if (r.ok()) r = device.Read(0, 2, images->header.data());
  if (!r.ok()) return r;
  images->savedHeader = images->header;
  SilentProgress progress;
  return ReadVolumeImages(device, images, &progress);
}

CheckResult CheckDevice(SectorDevice& device, DeviceLogWriter* writer, ProblemChoice* choice,
                        PollHook* poll) {
  CheckResult out;
  RecordingSink sink;
  VolumeImages images;
  CheckEngine engine;
  engine.SetFindingSink(&sink);
  engine.SetSectorWriter(writer);
  engine.SetSectorReader(writer);
  engine.SetProblemChoice(choice);
  engine.SetPollHook(poll);
  out.result = device.QuerySectorCount(&images.sectorCount);
  if (out.result.ok()) out.result = device.Read(0, 2, images.header.data());
  if (!out.result.ok()) return out;
  engine.SetDriveSize(images.sectorCount);
  engine.AttachHeader(images.header.data());
  engine.VerifyHeader();
  HeaderAssessment assessment;
  out.result = AssessHeader(device, images.sectorCount, images.header.data(), &assessment);
  out.header = assessment.verdict;
  if (out.result.ok() && assessment.verdict == HeaderVerdict::kBeyondRepair) {
    engine.FixProblem(Problem::kNeedsReinitializing);
  } else if (out.result.ok()) {
    engine.ApplyHeaderAssessment(assessment);
    images.savedHeader = images.header;
    SilentProgress progress;
    out.result = ReadVolumeImages(device, &images, &progress);
    if (out.result.ok()) out.result = AttachImages(engine, images);
    if (out.result.ok()) out.result = engine.VerifyVolume(&out.volume);
  }
  out.findings = sink.findings;
  return out;
}

}  // namespace jukepak::checker::testing
