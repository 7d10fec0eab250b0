#include "volume/testing/engine_volume.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "base/fnv1a.h"
#include "format/format_constants.h"
#include "volume/pending_list.h"

namespace jukepak::testing {
namespace {

std::string Hex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

}  // namespace

Result InitializeWithEngine(SectorDevice* device) {
  QuietReporter quiet;
  PlayerVolume volume(&quiet);
  if (!volume.BindDevice(std::make_unique<ForwardingDevice>(device)).ok()) {
    return Result::Error(ResultCode::kIoError, volume.bindError());
  }
  return volume.RunJobNow(Job::kInit);
}

Result SyncFiles(PlayerVolume& volume, const std::vector<std::string>& files) {
  Result r = Result::Ok();
  for (size_t i = 0; r.ok() && i < files.size(); ++i) r = AddFile(volume, files[i], std::nullopt);
  if (r.ok()) r = volume.RunJobNow(Job::kSync);
  return r;
}

Result MountVolume(PlayerVolume& volume, SectorDevice* device) {
  if (!volume.BindDevice(std::make_unique<ForwardingDevice>(device)).ok()) {
    return Result::Error(ResultCode::kIoError, volume.bindError());
  }
  if (!volume.CheckVolume()) return Result::Error(ResultCode::kCorrupt, "no volume on the device");
  return volume.RunJobNow(Job::kMount);
}

std::string DescribeModel(const VolumeModel& model) {
  const VolumeHeader& h = model.header;
  std::string text = "header fat " + std::to_string(h.fatStart()) + "+" +
                     std::to_string(h.fatSectors()) + " audio " + std::to_string(h.audioStart()) +
                     "+" + std::to_string(h.audioClusters()) + " cds " +
                     std::to_string(h.cdStart()) + "+" + std::to_string(h.cdCount()) + " bytes " +
                     Hex(Fnv1a(h.data(), format::kHeaderSize)) + "\n";
  uint32_t download_kb = 0;
  {
    MutexLock lock(&model.pendingMutex);
    download_kb = model.downloadKilobytes;
  }
  text += "nextFree " + std::to_string(model.nextFreeCluster) + " freeKB " +
          std::to_string(model.freeKilobytes) + " downloadKB " + std::to_string(download_kb) +
          "\n";
  for (const auto& cd : model.playerCds) {
    text += "cd " + std::to_string(cd->sector) + " '" + cd->record.artist() + "' '" +
            cd->record.album() + "' tracks " + std::to_string(cd->record.trackCount()) + " " +
            Hex(Fnv1a(cd->record.data(), format::kCdRecordSize)) + "\n";
    for (const auto& t : cd->tracks) {
      text += "  track " + std::to_string(t->firstCluster) + " '" + t->record.title() + "' '" +
              t->record.artist() + "' size " + std::to_string(t->record.size()) + " " +
              Hex(Fnv1a(t->record.data(), format::kSectorSize)) + "\n";  // what a mount reads
    }
  }
  text += "fat";
  for (uint32_t c = 0; c < model.fat.entryCount(); ++c) {
    if (model.fat.entry(c) != format::kFatFree) {
      text += " " + std::to_string(c) + ">" + std::to_string(model.fat.entry(c));
    }
  }
  return text + "\n";
}

Result SaveImage(const MemoryDevice& device, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr) return Result::Error(ResultCode::kIoError, "cannot create " + path);
  const bool written =
      std::fwrite(device.bytes().data(), 1, device.bytes().size(), file) == device.bytes().size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) return Result::Error(ResultCode::kIoError, "cannot write " + path);
  return Result::Ok();
}

}  // namespace jukepak::testing
