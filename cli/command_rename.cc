// rename CD [TRACK] [--artist A] [--title T]: new artist and title of a track
// or new artist and album (the title) of a CD. What is not given stays.

#include "base/latin1.h"
#include "cli/commands.h"
#include "cli/edit_args.h"
#include "volume/volume_edits.h"

namespace songlift::cli {

int RunRename(CliContext& context) {
  EditArgs parsed;
  std::string error;
  if (!ParseEditArgs(context.args(), {"--artist", "--title"}, &parsed, &error)) {
    return context.Usage(error);
  }
  const auto& words = parsed.positional;
  if (words.empty() || words.size() > 2 || (!parsed.has("--artist") && !parsed.has("--title"))) {
    return context.Usage("rename needs CD [TRACK] and --artist A, --title T or both");
  }
  uint32_t cd_number = 0;
  uint32_t track_number = 0;
  if (!ParseCdAndTrack(words, &cd_number, &track_number)) {
    return context.Usage("CD and TRACK are numbers from 1, as ls prints them");
  }
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;

  jukepak::CdNode* cd = nullptr;
  int rc = SelectCd(context, cd_number, &cd);
  if (rc != kExitOk) return rc;
  jukepak::Result done;
  if (words.size() == 1) {
    const std::string artist = parsed.has("--artist")
                                   ? parsed.options["--artist"]
                                   : jukepak::Utf8FromLatin1(cd->record.artist());
    const std::string album = parsed.has("--title") ? parsed.options["--title"]
                                                    : jukepak::Utf8FromLatin1(cd->record.album());
    done = jukepak::RenameCd(context.volume(), cd, artist, album);
  } else {
    uint32_t slot = 0;
    rc = SelectTrack(context, *cd, cd_number, track_number, &slot);
    if (rc != kExitOk) return rc;
    const jukepak::TrackRecord& record = cd->tracks[slot]->record;
    const std::string artist = parsed.has("--artist") ? parsed.options["--artist"]
                                                      : jukepak::Utf8FromLatin1(record.artist());
    const std::string title =
        parsed.has("--title") ? parsed.options["--title"] : jukepak::Utf8FromLatin1(record.title());
    done = jukepak::RenameTrack(context.volume(), cd, slot, artist, title);
  }
  return done.ok() ? kExitOk : FailEdit(context, done);
}

}  // namespace songlift::cli
