// mv CD TRACK --to CD [--at POSITION]: moves a track within its CD or to
// another one. POSITION is where the track stands in the target CD
// afterwards, from 1; by default it goes last. Within one CD the result is
// that of dragging the track onto the track now at POSITION.

#include "cli/commands.h"
#include "cli/edit_args.h"
#include "volume/volume_edits.h"

namespace songlift::cli {
namespace {

constexpr char kUsage[] = "mv needs CD TRACK --to CD [--at POSITION]";

}  // namespace

int RunMv(CliContext& context) {
  EditArgs parsed;
  std::string error;
  if (!ParseEditArgs(context.args(), {"--to", "--at"}, &parsed, &error)) {
    return context.Usage(error);
  }
  if (parsed.positional.size() != 2 || !parsed.has("--to")) return context.Usage(kUsage);
  uint32_t cd_number = 0;
  uint32_t track_number = 0;
  uint32_t target_number = 0;
  uint32_t position = 0;
  if (!ParseItemNumber(parsed.positional[0], &cd_number) ||
      !ParseItemNumber(parsed.positional[1], &track_number) ||
      !ParseItemNumber(parsed.options["--to"], &target_number) ||
      (parsed.has("--at") && !ParseItemNumber(parsed.options["--at"], &position))) {
    return context.Usage("CD, TRACK and POSITION are numbers from 1, as ls prints them");
  }
  const int mounted = context.Mount();
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
  if (!parsed.has("--at")) position = places;
  if (position > places) {
    return context.Fail("POSITION " + std::to_string(position) + " is past the end of CD " +
                        std::to_string(target_number) + "; the track can stand at 1 to " +
                        std::to_string(places));
  }
  const jukepak::Result done =
      jukepak::MoveTrack(context.volume(), source, from, target, position - 1);
  return done.ok() ? kExitOk : FailEdit(context, done);
}

}  // namespace songlift::cli
