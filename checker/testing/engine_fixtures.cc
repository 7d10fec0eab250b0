#include "checker/testing/engine_fixtures.h"

namespace jukepak::checker::testing {
namespace {

class SilentProgress : public ReadProgress {
 public:
  void Progress(const char*) override {}
  bool StopRequested() override { return false; }
};

}  // namespace

Result LoadImages(SectorDevice& device, VolumeImages* images) {
  Result r = device.QuerySectorCount(&images->sectorCount);
  if (r.ok()) r = device.Read(0, 2, images->header.data());
  if (!r.ok()) return r;
  images->savedHeader = images->header;
  SilentProgress progress;
  return ReadVolumeImages(device, images, &progress);
}

std::vector<std::string> CheckDevice(SectorDevice& device, SectorWriter* writer, int* verdict,
                                     RestartPolicy policy) {
  RecordingSink sink;
  VolumeImages images;
  CheckEngine engine;
  engine.SetMessageSink(&sink);
  engine.SetRestartPolicy(policy);
  *verdict = kHeaderNeedsReinitializing;
  Result r = device.QuerySectorCount(&images.sectorCount);
  if (r.ok()) r = device.Read(0, 2, images.header.data());
  if (!r.ok()) return {"read failed: " + r.message()};
  engine.SetDriveSize(images.sectorCount);
  engine.AttachHeader(images.header.data());
  if (engine.VerifyHeader() != kHeaderSound) return sink.messages;
  images.savedHeader = images.header;
  SilentProgress progress;
  r = ReadVolumeImages(device, &images, &progress);
  if (r.ok()) r = AttachImages(engine, images);
  engine.SetSectorWriter(writer);
  if (r.ok()) r = engine.VerifyVolume(verdict);
  if (!r.ok()) sink.messages.push_back("failed: " + r.message());
  return sink.messages;
}

}  // namespace jukepak::checker::testing
