// rm CD [TRACK]: deletes a track, or a whole CD track by track as the window
// does; a CD goes with its last track. Asks first unless --yes.

#include <QJsonObject>

#include "cli/commands.h"
#include "cli/edit_args.h"
#include "cli/json_text.h"
#include "volume/volume_edits.h"

namespace songlift::cli {

int RunRm(CliContext& context) {
  const auto& args = context.args();
  uint32_t cd_number = 0;
  uint32_t track_number = 0;
  if (!ParseCdAndTrack(args, &cd_number, &track_number)) {
    return context.Usage("CD and TRACK are numbers from 1, as ls prints them");
  }
  const int mounted = context.Mount(Access::kWrite);
  if (mounted != kExitOk) return mounted;

  jukepak::CdNode* cd = nullptr;
  int rc = SelectCd(context, cd_number, &cd);
  if (rc != kExitOk) return rc;
  uint32_t slot = 0;
  std::string label = jukepak::CdLabel(cd->record);
  if (args.size() == 2) {
    rc = SelectTrack(context, *cd, cd_number, track_number, &slot);
    if (rc != kExitOk) return rc;
    label = jukepak::TrackLabel(cd->tracks[slot]->record, cd->record.artist());
  }

  bool no_terminal = false;
  if (!context.Confirm("Are you sure you would like to delete\n" + label, &no_terminal)) {
    if (no_terminal) return context.Fail("rm deletes from the player; confirm with --yes");
    return context.Fail("nothing was deleted");
  }
  const jukepak::Result done = args.size() == 2
                                   ? jukepak::DeletePlayerTrack(context.volume(), cd, slot)
                                   : jukepak::DeletePlayerCd(context.volume(), cd);
  if (!done.ok()) return FailEdit(context, done);
  QJsonObject deleted{{"cd", qint64(cd_number)}, {"deleted", JsonFromUtf8(label)}};
  if (args.size() == 2) deleted.insert("track", qint64(track_number));
  context.OutJson(deleted);
  return kExitOk;
}

}  // namespace songlift::cli
