// check: the linkage counts of the mounted volume's FAT. Exit 0 when clean,
// 1 when errors were found (or the volume could not be read).

#include <QJsonObject>

#include "cli/commands.h"
#include "volume/integrity_check.h"

namespace songlift::cli {

int RunCheck(CliContext& context) {
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  jukepak::IntegrityCounts counts;
  const jukepak::Result checked = jukepak::CheckIntegrity(context.volume(), &counts);
  if (!checked.ok()) return context.Fail(checked.message());
  if (context.options().json) {
    context.OutJson(QJsonObject{{"nullLinkages", qint64(counts.nullLinkages)},
                                {"multipleLinkages", qint64(counts.multipleLinkages)},
                                {"freeLinkages", qint64(counts.freeLinkages)},
                                {"clean", counts.clean()}});
  } else {
    std::string text = jukepak::IntegrityMessage(counts, false);
    if (text.back() != '\n') text += "\n";
    context.Out(text);
  }
  return counts.clean() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
