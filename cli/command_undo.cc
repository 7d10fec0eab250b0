// undo FILE [--force]: puts back what an undo file saved (fsck --undo, init
// --undo, or a window's "Keep an undo file"), so the drive holds again what it
// held before that operation. It refuses when the volume no longer holds
// what the operation left, or is another drive, unless --force.

#include <QJsonObject>
#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "undo/file_undo_store.h"
#include "undo/undo_restore.h"

namespace songlift::cli {
namespace {

int Refused(const CliContext& context, const std::string& file,
            const jukepak::undo::UndoReport& report, uint32_t sectors) {
  if (report.refusal == jukepak::undo::UndoRefusal::kOtherDrive) {
    return context.Fail(file + " was kept for a drive of " + std::to_string(report.driveSectors) +
                        " sectors, and this one has " + std::to_string(sectors) +
                        "; nothing was written (--force restores anyway)");
  }
  return context.Fail("the volume no longer holds what the operation left: " +
                      std::to_string(report.changed) + " of the " + std::to_string(report.saved) +
                      " sectors " + file + " saved have changed since (the first is sector " +
                      std::to_string(report.firstChanged) +
                      "); nothing was written (--force restores anyway)");
}

}  // namespace

int RunUndo(CliContext& context) {
  const std::string file = context.args().at(0);
  // The global --force: restore even over a changed volume.
  const bool force = context.options().force;
  std::unique_ptr<jukepak::undo::FileUndoStore> store;
  jukepak::Result r = jukepak::undo::FileUndoStore::Open(file, &store);
  if (!r.ok()) return context.Fail(r.message());
  CliContext::DriverBinding binding;
  r = context.BindDriverModule(jukepak::RequiredEntries::kDevice, &binding);
  if (!r.ok()) return context.Fail(r.message());
  jukepak::DriverDevice* device = binding.device.get();
  if (!context.WriteAllowed()) return kExitFailed;
  r = device->Open();
  if (!r.ok()) return context.Fail(r.message());
  uint32_t sectors = 0;
  (void)device->QuerySectorCount(&sectors);
  jukepak::undo::UndoReport report;
  r = jukepak::undo::RestoreUndoFile(*device, *store, force, &report);
  device->Close();
  if (!r.ok()) return context.Fail(file + ": " + r.message());
  if (report.refusal != jukepak::undo::UndoRefusal::kNone) {
    return Refused(context, file, report, sectors);
  }
  context.OutJson(QJsonObject{{"restored", qint64(report.restored)},
                              {"unfinished", report.unfinished},
                              {"alreadyRestored", report.alreadyRestored}});
  if (report.empty) {
    context.Out(file + " saved nothing: the operation wrote nothing\n");
    return kExitOk;
  }
  if (report.unfinished) {
    std::fputs("songlift-cli: the operation was cut before it ended, so nothing could be compared; "
               "its saved sectors were put back as they were\n",
               stderr);
  }
  context.Out("Restored " + std::to_string(report.restored) + " sectors from " + file +
              (report.alreadyRestored ? " (it had been undone before)\n" : "\n"));
  return kExitOk;
}

}  // namespace songlift::cli
