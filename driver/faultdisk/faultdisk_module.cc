// faultdisk.dld: diskimage.dld with faults injected on purpose, so that the
// programs themselves (songlift-cli, Songlift, Volmend) can be run through a
// power cut or a failing disk and what they leave behind examined.
//
// The image is chosen as diskimage.dld chooses it (JUKEPAK_IMAGE, else the
// built-in player). The faults are read from JUKEPAK_DISK_FAULTS at each Open
// (see disk_faults.h), and counted from that Open: a power cut lasts until
// the module is opened again, as a player is switched back on. A malformed
// fault list makes Open fail with the reason on standard error, so that a
// typing mistake never runs without its fault.

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/debug_channel.h"
#include "driver/faultdisk/disk_faults.h"
#include "driver/image_entry_points.h"
#include "driver/image_file.h"
#include "driver/jukepak_driver.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<jukepak::ImageFile> g_image;
jukepak::testing::FaultPlan g_plan;
std::unique_ptr<std::FILE, FileCloser> g_write_log;

jukepak::Result OpenWriteLog(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) {
    return jukepak::Result::Error(jukepak::ResultCode::kIoError,
                                  "cannot open the write log " + path);
  }
  std::setvbuf(file, nullptr, _IOLBF, 0);  // each line is there even if the program dies
  g_write_log.reset(file);
  return jukepak::Result::Ok();
}

jukepak::Result OpenFaultyImage() {
  jukepak::DiskFaults faults;
  jukepak::Result result =
      jukepak::ParseDiskFaults(std::getenv(jukepak::kDiskFaultsVariable), &faults);
  if (!result.ok()) return result;
  if (!faults.write_log.empty()) {
    result = OpenWriteLog(faults.write_log);
    if (!result.ok()) return result;
  }
  std::unique_ptr<jukepak::ImageFile> image;
  result = jukepak::OpenImageFromEnvironment(&image);
  if (!result.ok()) return result;
  g_image = std::move(image);
  g_plan = faults.Plan();
  g_plan.KeepWriteLog(false);  // the log file is the record; a long session would fill memory
  return jukepak::Result::Ok();
}

void LogWrite(const jukepak::testing::WriteRecord& write) {
  if (g_write_log == nullptr) return;
  std::fprintf(g_write_log.get(), "%s\n", jukepak::testing::WriteLogLine(write).c_str());
}

void Release() {
  g_image.reset();
  g_write_log.reset();
  g_plan = jukepak::testing::FaultPlan();
}

}  // namespace

extern "C" {

JUKEPAK_DRIVER_EXPORT int32_t Open(void) {
  Release();
  const jukepak::Result result = OpenFaultyImage();
  if (!result.ok()) {
    std::fprintf(stderr, "faultdisk: could not open the player: %s\n", result.message().c_str());
    Release();
    return 1;
  }
  jukepak::DebugPrint("faultdisk: opened %s (%u sectors)\n", g_image->path().c_str(),
                      g_image->sectorCount());
  return 0;
}

JUKEPAK_DRIVER_EXPORT int32_t QueryNumSectors(uint32_t* out) {
  return jukepak::image_entry_points::QueryNumSectors(g_image.get(), out);
}

JUKEPAK_DRIVER_EXPORT int32_t WriteSectors(uint32_t sector, uint32_t count, const void* buffer) {
  if (count == 0) return 0;
  if (g_image == nullptr || buffer == nullptr) return 1;
  const jukepak::testing::WriteRecord write = g_plan.DecideWrite(sector, count);
  const int32_t rc = write.failed ? 1
                                  : jukepak::image_entry_points::WriteSectors(g_image.get(), sector,
                                                                              write.landed, buffer);
  // A read-only image or a disk holding something else refuses what the plan let through.
  if (!write.failed && rc != 0) g_plan.NoteWriteRefused();
  LogWrite(g_plan.lastWrite());
  return rc;
}

JUKEPAK_DRIVER_EXPORT int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer) {
  if (count != 0 && g_image != nullptr && g_plan.ReadFails(sector, count)) return 1;
  return jukepak::image_entry_points::ReadSectors(g_image.get(), sector, count, buffer);
}

JUKEPAK_DRIVER_EXPORT int32_t DebugMsg(const char* text) {
  return jukepak::image_entry_points::DebugMsg(text);
}

JUKEPAK_DRIVER_EXPORT int32_t ReadIR(int32_t* code) {
  return jukepak::image_entry_points::ReadIR(g_image.get(), code);
}

JUKEPAK_DRIVER_EXPORT int32_t Close(void) {
  Release();
  return 0;
}

JUKEPAK_DRIVER_EXPORT int32_t QueryValidity(void) { return 1; }

JUKEPAK_DRIVER_EXPORT const char* GetDisplayName(void) { return "Fault-Injecting Disk Image"; }

}  // extern "C"
