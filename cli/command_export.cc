// export CD TRACK FILE: copies a track off the player into a new MP3 file:
// its audio bytes and an ID3v1 tag rebuilt from the track and CD records.

#include <QJsonObject>

#include "cli/commands.h"
#include "cli/edit_args.h"
#include "volume/track_export.h"

namespace songlift::cli {

int RunExport(CliContext& context) {
  const auto& args = context.args();
  uint32_t cd_number = 0;
  uint32_t track_number = 0;
  if (!ParseItemNumber(args[0], &cd_number) || !ParseItemNumber(args[1], &track_number)) {
    return context.Usage("CD and TRACK are numbers from 1, as ls prints them");
  }
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  jukepak::CdNode* cd = nullptr;
  uint32_t slot = 0;
  int rc = SelectCd(context, cd_number, &cd);
  if (rc == kExitOk) rc = SelectTrack(context, *cd, cd_number, track_number, &slot);
  if (rc != kExitOk) return rc;
  const jukepak::Result done = jukepak::ExportTrack(context.volume(), *cd, slot, args[2]);
  if (!done.ok()) return context.Fail(done.message());
  context.OutJson(QJsonObject{{"cd", qint64(cd_number)},
                              {"track", qint64(track_number)},
                              {"file", QString::fromStdString(args[2])}});
  return kExitOk;
}

}  // namespace songlift::cli
