#include "checker/check_run.h"

#include <cstdio>
#include <string_view>

#include "base/debug_channel.h"
#include "checker/check_engine.h"
#include "format/header_verdict.h"
#include "checker/line_output.h"
#include "checker/volume_images.h"

namespace jukepak::checker {

const char* NoticeText(Notice notice) {
  switch (notice) {
    case Notice::kFilesystemOk:
      return "Filesystem is OK";
    case Notice::kRepairsComplete:
      return "Repairs complete";
    case Notice::kReinitialized:
      return "Filesystem reinitialized";
    case Notice::kReinitializeFailed:
      return "Error re-initializing filesystem";
    case Notice::kCommunicationsError:
      return "Communications Error!";
    case Notice::kDriveTooSmall:
      return "The drive is too small for a volume";
  }
  return "";
}

const char* NoticeCaption(Notice notice) {
  switch (notice) {
    case Notice::kFilesystemOk:
    case Notice::kRepairsComplete:
      return "Done";
    case Notice::kReinitialized:
      return "Ok";
    case Notice::kReinitializeFailed:
    case Notice::kCommunicationsError:
    case Notice::kDriveTooSmall:
      return "Error";
  }
  return "";
}

void CheckConsole::Found(const Finding& finding) {
  ForEachLine(finding.text, [this](const std::string& line) { ListLine(line); });
}

namespace {

// Routes the engine's and the reading step's texts to the console: findings
// to the list, progress to the title, the stop check both ways.
class ConsoleRouting : public FindingSink, public PollHook, public ReadProgress {
 public:
  explicit ConsoleRouting(CheckConsole& console) : console_(console) {}

  void List(std::string_view text) {
    ForEachLine(text, [this](const std::string& line) { console_.ListLine(line); });
  }
  void Title(std::string_view text) {
    ForEachLine(text, [this](const std::string& line) { console_.TitleLine(line); });
  }

  void Found(const Finding& finding) override { console_.Found(finding); }
  void Progress(const char* text) override { Title(text); }
  bool StopRequested() override { return console_.StopRequested(); }

 private:
  CheckConsole& console_;
};

class DeviceAccess : public SectorWriter, public SectorReader {
 public:
  explicit DeviceAccess(SectorDevice& device) : device_(device) {}
  Result WriteSectors(uint32_t sector, uint32_t count, const uint8_t* data) override {
    return device_.Write(sector, count, data);
  }
  Result ReadSectors(uint32_t sector, uint32_t count, uint8_t* out) override {
    return device_.Read(sector, count, out);
  }

 private:
  SectorDevice& device_;
};

CheckOutcome CommunicationsFailure(CheckConsole& console, const Result& why) {
  DebugPrint("volmend: %s\n", why.message().c_str());
  console.ShowNotice(Notice::kCommunicationsError);
  return CheckOutcome::kCommunicationsError;
}

CheckOutcome Failure(CheckConsole& console, const Result& why) {
  if (why.code() == ResultCode::kCancelled) return CheckOutcome::kCancelled;
  return CommunicationsFailure(console, why);
}

void RaiseDriveTooSmall(CheckEngine& engine, uint32_t sectors) {
  ProblemDetails d;
  d.first = sectors;
  d.second = MinimumVolumeSectors();
  engine.FixProblem(Problem::kDriveTooSmall, d);
}

CheckOutcome Reinitialize(CheckEngine& engine, DeviceAccess& access, CheckConsole& console,
                          uint32_t sectors) {
  if (!console.ConfirmReinitialize()) return CheckOutcome::kLeft;
  engine.SetSectorWriter(&access);
  ReinitOutcome outcome = ReinitOutcome::kDone;
  const Result r = engine.ReinitializeVolume(&outcome);
  if (outcome == ReinitOutcome::kDriveTooSmall) RaiseDriveTooSmall(engine, sectors);
  if (outcome != ReinitOutcome::kDone) {
    DebugPrint("volmend: reinitializing failed at step %d: %s\n", int(outcome),
               r.message().c_str());
    console.ShowNotice(Notice::kReinitializeFailed);
    return CheckOutcome::kReinitializeFailed;
  }
  console.ShowNotice(Notice::kReinitialized);
  return CheckOutcome::kReinitialized;
}

// The repair pass: the engine starts again over the volume as read, not over
// what the dry run left in memory, and writes every step as it makes it.
CheckOutcome Repair(CheckEngine& engine, VolumeImages& images,
                    const HeaderAssessment& assessment, DeviceAccess& access,
                    ConsoleRouting& routing, CheckConsole& console) {
  engine.SetSectorWriter(&access);
  engine.SetSectorReader(&access);
  engine.Release();
  images.RestoreSaved();
  routing.Title("Repairing drive...\n");
  routing.List("\n\nRepairing...\n\n");
  engine.AttachHeader(images.header.data());
  engine.ApplyHeaderAssessment(assessment);
  Result r = AttachImages(engine, images);
  VolumeVerdict verdict = VolumeVerdict::kClean;
  if (r.ok()) r = engine.VerifyVolume(&verdict);
  if (!r.ok()) return Failure(console, r);
  console.ShowNotice(Notice::kRepairsComplete);
  return CheckOutcome::kRepaired;
}

}  // namespace

CheckOutcome RunCheck(SectorDevice& device, CheckConsole& console) {
  ConsoleRouting routing(console);
  routing.List("Jukepak integrity checker - V0.01\n");
  routing.Title("Seeking device...\n");
  Result r = device.Open();
  if (!r.ok()) return CommunicationsFailure(console, r);
  VolumeImages images;
  r = device.QuerySectorCount(&images.sectorCount);
  if (!r.ok()) return CommunicationsFailure(console, r);
  const uint32_t n = images.sectorCount;
  char text[128];
  std::snprintf(text, sizeof text, "Device found [%u.%02uMB]- reading header...\n", n / 2048,
                (n / 2) % 1024 * 100 / 1024);
  routing.List(text);

  CheckEngine engine;
  engine.SetFindingSink(&routing);
  engine.SetDriveSize(n);
  if (n < MinimumVolumeSectors()) {
    RaiseDriveTooSmall(engine, n);
    console.ShowNotice(Notice::kDriveTooSmall);
    return CheckOutcome::kDriveTooSmall;
  }
  r = device.Read(0, format::kHeaderSectors, images.header.data());
  if (!r.ok()) return CommunicationsFailure(console, r);
  images.savedHeader = images.header;
  engine.AttachHeader(images.header.data());
  engine.SetSectorWriter(nullptr);  // the first pass is a dry run
  engine.SetPollHook(&routing);

  engine.VerifyHeader();
  HeaderAssessment assessment;
  r = AssessHeader(device, n, images.header.data(), &assessment);
  if (!r.ok()) return CommunicationsFailure(console, r);
  const bool reinitialize = assessment.verdict == HeaderVerdict::kBeyondRepair;
  if (reinitialize) {
    engine.FixProblem(Problem::kNeedsReinitializing);
  } else {
    engine.ApplyHeaderAssessment(assessment);
    r = ReadVolumeImages(device, &images, &routing);
    if (!r.ok()) return Failure(console, r);
    routing.Title("Checking filesystem integrity...\n");
    r = AttachImages(engine, images);
    VolumeVerdict verdict = VolumeVerdict::kClean;
    if (r.ok()) r = engine.VerifyVolume(&verdict);
    if (!r.ok()) return Failure(console, r);
    if (verdict == VolumeVerdict::kClean && assessment.verdict == HeaderVerdict::kSound) {
      routing.Title("Filesystem is OK\n");
      console.ShowNotice(Notice::kFilesystemOk);
      return CheckOutcome::kClean;
    }
  }

  console.OfferRepair(reinitialize);
  routing.Title("Repair?\n");
  switch (console.AwaitRepair(reinitialize)) {
    case RepairDecision::kStop:
      return CheckOutcome::kCancelled;
    case RepairDecision::kLeave:
      return CheckOutcome::kLeft;
    case RepairDecision::kRepair:
      break;
  }
  DeviceAccess access(device);
  if (reinitialize) return Reinitialize(engine, access, console, n);
  return Repair(engine, images, assessment, access, routing, console);
}

}  // namespace jukepak::checker
