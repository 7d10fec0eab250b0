// init [--undo FILE]: lays a new, empty volume over the whole drive, after a
// confirmation; with --undo, keeping an undo file of every sector it
// overwrites.

#include <QJsonObject>
#include <memory>

#include "cli/commands.h"
#include "cli/undo_session.h"

namespace songlift::cli {
namespace {

// Binds the engine to the driver through an undo file kept at `path`.
int BindWithUndo(CliContext& context, const std::string& path,
                 CliContext::DriverBinding* driver, std::unique_ptr<UndoSession>* undo) {
  const jukepak::Result loaded =
      context.BindDriverModule(jukepak::RequiredEntries::kDevice, driver);
  if (!loaded.ok()) return context.Fail(loaded.message());
  if (!context.WriteAllowed()) return kExitFailed;  // before the undo file is made
  const int started =
      UndoSession::Start(context, path, "songlift-cli init", driver->device.get(), undo);
  if (started != kExitOk) return started;
  return context.BindDevice(std::make_unique<jukepak::ForwardingDevice>(&(*undo)->device()),
                            Access::kWrite);
}

}  // namespace

int RunInit(CliContext& context) {
  const std::string undo_file = context.value("undo");
  CliContext::DriverBinding driver;
  std::unique_ptr<UndoSession> undo;
  const int bound = undo_file.empty() ? context.Bind(Access::kWrite)
                                      : BindWithUndo(context, undo_file, &driver, &undo);
  if (bound != kExitOk) return bound;
  bool no_terminal = false;
  if (!context.Confirm("This will erase any data currently on the drive.\nDo you wish to proceed?",
                       &no_terminal)) {
    if (no_terminal) return context.Fail("init erases the player; confirm with --yes");
    return context.Fail("nothing was changed");
  }
  const jukepak::Result done = context.volume().RunJobNow(jukepak::Job::kInit);
  // The digest of what the initialization left, whether it ended well or
  // not, while the engine still holds the device.
  if (undo) (void)undo->Finish(context);
  int status = kExitOk;
  if (!done.ok()) {
    const std::string why = context.lastStatus();
    status = context.Fail(why.empty() ? done.message() : why);
  } else {
    const uint32_t sectors = context.volume().model().sectorCount;
    const uint32_t free = context.volume().FreeKilobytes();
    context.Out("Initialized a volume of " + std::to_string(sectors) + " sectors, " +
                std::to_string(free) + " KB free\n");
    context.OutJson(QJsonObject{{"sectors", qint64(sectors)}, {"freeKB", qint64(free)}});
  }
  // The engine lets go of the undo file's device before the file is closed.
  context.volume().UnbindDriver();
  return status;
}

}  // namespace songlift::cli
