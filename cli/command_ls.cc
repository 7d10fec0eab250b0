// ls: every CD with its tracks, in the order of the player's directory,
// numbered from 1 as the other commands take them.

#include "base/latin1.h"
#include "cli/commands.h"
#include "cli/json_writer.h"

namespace songlift::cli {
namespace {

std::string Json(const jukepak::VolumeModel& model) {
  JsonWriter json;
  json.BeginArray();
  for (const auto& cd : model.playerCds) {
    json.BeginObject()
        .Key("artist").String(jukepak::Utf8FromLatin1(cd->record.artist()))
        .Key("album").String(jukepak::Utf8FromLatin1(cd->record.album()))
        .Key("sector").Number(cd->sector)
        .Key("tracks").BeginArray();
    for (const auto& track : cd->tracks) {
      json.BeginObject()
          .Key("title").String(jukepak::Utf8FromLatin1(track->record.title()))
          .Key("artist").String(jukepak::Utf8FromLatin1(track->record.artist()))
          .Key("firstCluster").Number(track->firstCluster)
          .Key("size").Number(track->record.size())
          .EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray();
  return json.text() + "\n";
}

std::string Text(const jukepak::VolumeModel& model) {
  std::string text;
  int cd_number = 0;
  for (const auto& cd : model.playerCds) {
    text += std::to_string(++cd_number) + " " + jukepak::CdLabel(cd->record) + "\n";
    const std::string artist = cd->record.artist();
    int track_number = 0;
    for (const auto& track : cd->tracks) {
      text += "  " + std::to_string(++track_number) + " " +
              jukepak::TrackLabel(track->record, artist) + "\n";
    }
  }
  return text;
}

}  // namespace

int RunLs(CliContext& context) {
  if (!context.args().empty()) return context.Usage("ls takes no arguments");
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  const jukepak::VolumeModel& model = context.volume().model();
  context.Out(context.options().json ? Json(model) : Text(model));
  return kExitOk;
}

}  // namespace songlift::cli
