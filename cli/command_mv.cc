// mv CD TRACK --to CD [--at POSITION]: moves a track within its CD or to
// another one. POSITION is where the track stands in the target CD
// afterwards, from 1; by default it goes last. Within one CD the result is
// that of dragging the track onto the track now at POSITION.

#include <QJsonObject>

#include "cli/commands.h"
#include "cli/edit_args.h"
#include "volume/volume_edits.h"

namespace songlift::cli {

int RunMv(CliContext& context) {
  const bool at_given = context.flag("at");
  uint32_t cd_number = 0;
  uint32_t track_number = 0;
  uint32_t target_number = 0;
  uint32_t position = 0;
  if (!ParseItemNumber(context.args()[0], &cd_number) ||
      !ParseItemNumber(context.args()[1], &track_number) ||
      !ParseItemNumber(context.value("to"), &target_number) ||
      (at_given && !ParseItemNumber(context.value("at"), &position))) {
    return context.Usage("CD, TRACK and POSITION are numbers from 1, as ls prints them");
  }
  const int mounted = context.Mount(Access::kWrite);
  if (mounted != kExitOk) return mounted;

  jukepak::CdNode* source = nullptr;
  jukepak::CdNode* target = nullptr;
  uint32_t from = 0;
  int rc = SelectCd(context, cd_number, &source);
  if (rc == kExitOk) rc = SelectTrack(context, *source, cd_number, track_number, &from);
  if (rc == kExitOk) rc = SelectCd(context, target_number, &target);
  if (rc != kExitOk) return rc;

  // Positions a track can take: the CD's own slots, or one more in another CD.
  const uint32_t places = uint32_t(target->tracks.size()) + (source == target ? 0 : 1);
  if (!at_given) position = places;
  if (position > places) {
    return context.Fail("POSITION " + std::to_string(position) + " is past the end of CD " +
                        std::to_string(target_number) + "; the track can stand at 1 to " +
                        std::to_string(places));
  }
  const jukepak::Result done =
      jukepak::MoveTrack(context.volume(), source, from, target, position - 1);
  if (!done.ok()) return FailEdit(context, done);
  context.OutJson(
      QJsonObject{{"from", QJsonObject{{"cd", qint64(cd_number)}, {"track", qint64(track_number)}}},
                  {"to", QJsonObject{{"cd", qint64(target_number)}, {"track", qint64(position)}}}});
  return kExitOk;
}

}  // namespace songlift::cli
