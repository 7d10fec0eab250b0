// info: the header's geometry, the drive size, free space and CD count.

#include <QJsonObject>
#include <cstdio>

#include "cli/commands.h"

namespace songlift::cli {

int RunInfo(CliContext& context) {
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  jukepak::PlayerVolume& volume = context.volume();
  const jukepak::VolumeHeader& h = volume.model().header;
  const struct {
    const char* key;
    int64_t value;
  } fields[] = {
      {"sectors", volume.model().sectorCount},
      {"fatStart", h.fatStart()},
      {"fatSectors", h.fatSectors()},
      {"audioStart", h.audioStart()},
      {"audioClusters", h.audioClusters()},
      {"cdStart", h.cdStart()},
      {"cdCount", h.cdCount()},
      {"freeKB", volume.FreeKilobytes()},
  };
  if (context.options().json) {
    QJsonObject json;
    for (const auto& field : fields) json.insert(field.key, qint64(field.value));
    context.OutJson(json);
    return kExitOk;
  }
  std::string text;
  for (const auto& field : fields) {
    char line[64];
    std::snprintf(line, sizeof line, "%-14s %lld\n", field.key,
                  static_cast<long long>(field.value));
    text += line;
  }
  context.Out(text);
  return kExitOk;
}

}  // namespace songlift::cli
