// init: lays a new, empty volume over the whole drive, after a confirmation.

#include <QJsonObject>

#include "cli/commands.h"

namespace songlift::cli {

int RunInit(CliContext& context) {
  const int bound = context.Bind(Access::kWrite);
  if (bound != kExitOk) return bound;
  bool no_terminal = false;
  if (!context.Confirm("This will erase any data currently on the drive.\nDo you wish to proceed?",
                       &no_terminal)) {
    if (no_terminal) return context.Fail("init erases the player; confirm with --yes");
    return context.Fail("nothing was changed");
  }
  const jukepak::Result done = context.volume().RunJobNow(jukepak::Job::kInit);
  if (!done.ok()) {
    const std::string status = context.lastStatus();
    return context.Fail(status.empty() ? done.message() : status);
  }
  const uint32_t sectors = context.volume().model().sectorCount;
  const uint32_t free = context.volume().FreeKilobytes();
  context.Out("Initialized a volume of " + std::to_string(sectors) + " sectors, " +
              std::to_string(free) + " KB free\n");
  context.OutJson(QJsonObject{{"sectors", qint64(sectors)}, {"freeKB", qint64(free)}});
  return kExitOk;
}

}  // namespace songlift::cli
