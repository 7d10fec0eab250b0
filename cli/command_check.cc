// check: the linkage counts of the mounted volume's FAT. Exit 0 when clean,
// 1 when errors were found (or the volume could not be read).

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "volume/integrity_check.h"

namespace songlift::cli {

int RunCheck(CliContext& context) {
  if (!context.args().empty()) return context.Usage("check takes no arguments");
  const int mounted = context.Mount();
  if (mounted != kExitOk) return mounted;
  jukepak::IntegrityCounts counts;
  const jukepak::Result checked = jukepak::CheckIntegrity(context.volume(), &counts);
  if (!checked.ok()) return context.Fail(checked.message());
  if (context.options().json) {
    JsonWriter json;
    json.BeginObject()
        .Key("nullLinkages")
        .Number(counts.nullLinkages)
        .Key("multipleLinkages")
        .Number(counts.multipleLinkages)
        .Key("freeLinkages")
        .Number(counts.freeLinkages)
        .Key("clean")
        .Bool(counts.clean())
        .EndObject();
    context.Out(json.text() + "\n");
  } else {
    std::string text = jukepak::IntegrityMessage(counts, false);
    if (text.back() != '\n') text += "\n";
    context.Out(text);
  }
  return counts.clean() ? kExitOk : kExitFailed;
}

}  // namespace songlift::cli
