// rename CD [TRACK] [--artist A] [--title T]: new artist and title of a track
// or new artist and album (the title) of a CD. What is not given stays.

#include <QJsonObject>

#include "base/latin1.h"
#include "cli/commands.h"
#include "cli/edit_args.h"
#include "cli/json_text.h"
#include "volume/volume_edits.h"

namespace songlift::cli {
namespace {

// The option's value when given, else what the record holds now.
std::string GivenOr(const CliContext& context, const std::string& option,
                    const std::string& stored_latin1) {
  return context.flag(option) ? context.value(option) : jukepak::Utf8FromLatin1(stored_latin1);
}

}  // namespace

int RunRename(CliContext& context) {
  const auto& words = context.args();
  if (!context.flag("artist") && !context.flag("title")) {
    return context.Usage("rename needs CD [TRACK] and --artist A, --title T or both");
  }
  uint32_t cd_number = 0;
  uint32_t track_number = 0;
  if (!ParseCdAndTrack(words, &cd_number, &track_number)) {
    return context.Usage("CD and TRACK are numbers from 1, as ls prints them");
  }
  const int mounted = context.Mount(Access::kWrite);
  if (mounted != kExitOk) return mounted;

  jukepak::CdNode* cd = nullptr;
  int rc = SelectCd(context, cd_number, &cd);
  if (rc != kExitOk) return rc;
  if (words.size() == 1) {
    const jukepak::Result done =
        jukepak::RenameCd(context.volume(), cd, GivenOr(context, "artist", cd->record.artist()),
                          GivenOr(context, "title", cd->record.album()));
    if (!done.ok()) return FailEdit(context, done);
    context.OutJson(QJsonObject{{"cd", qint64(cd_number)},
                                {"artist", JsonFromLatin1(cd->record.artist())},
                                {"album", JsonFromLatin1(cd->record.album())}});
    return kExitOk;
  }
  uint32_t slot = 0;
  rc = SelectTrack(context, *cd, cd_number, track_number, &slot);
  if (rc != kExitOk) return rc;
  const jukepak::TrackRecord& record = cd->tracks[slot]->record;
  const jukepak::Result done =
      jukepak::RenameTrack(context.volume(), cd, slot, GivenOr(context, "artist", record.artist()),
                           GivenOr(context, "title", record.title()));
  if (!done.ok()) return FailEdit(context, done);
  const jukepak::TrackRecord& renamed = cd->tracks[slot]->record;
  context.OutJson(QJsonObject{{"cd", qint64(cd_number)},
                              {"track", qint64(track_number)},
                              {"artist", JsonFromLatin1(renamed.artist())},
                              {"title", JsonFromLatin1(renamed.title())}});
  return kExitOk;
}

}  // namespace songlift::cli
