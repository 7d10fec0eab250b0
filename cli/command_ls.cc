// ls: every CD with its tracks, in the order of the player's directory,
// numbered from 1 as the other commands take them.

#include <QJsonArray>
#include <QJsonObject>

#include "cli/commands.h"
#include "cli/json_text.h"

namespace songlift::cli {
namespace {

QJsonArray Json(const jukepak::VolumeModel& model) {
  QJsonArray cds;
  for (const auto& cd : model.playerCds) {
    QJsonArray tracks;
    for (const auto& track : cd->tracks) {
      tracks.append(QJsonObject{{"title", JsonFromLatin1(track->record.title())},
                                {"artist", JsonFromLatin1(track->record.artist())},
                                {"firstCluster", qint64(track->firstCluster)},
                                {"size", qint64(track->record.size())}});
    }
    cds.append(QJsonObject{{"artist", JsonFromLatin1(cd->record.artist())},
                           {"album", JsonFromLatin1(cd->record.album())},
                           {"sector", qint64(cd->sector)},
                           {"tracks", tracks}});
  }
  return cds;
}

std::string Listing(const jukepak::VolumeModel& model) {
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
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  const jukepak::VolumeModel& model = context.volume().model();
  if (context.options().json) {
    context.OutJson(Json(model));
  } else {
    context.Out(Listing(model));
  }
  return kExitOk;
}

}  // namespace songlift::cli
