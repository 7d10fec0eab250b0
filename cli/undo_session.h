// UndoSession: the undo file a command keeps of its writes (--undo FILE).
// The command writes through device(); Finish() records the digest and says
// where the file is, so that 'songlift-cli undo FILE' can take it back.
#pragma once

#include <memory>
#include <string>

#include "cli/cli_context.h"
#include "undo/file_undo_store.h"
#include "undo/undo_device.h"

namespace songlift::cli {

class UndoSession {
 public:
  // Creates `path` (never over an existing file) for the writes to `target`,
  // which must outlive the session. kExitOk, or prints why and kExitFailed.
  static int Start(const CliContext& context, const std::string& path,
                   const std::string& operation, jukepak::SectorDevice* target,
                   std::unique_ptr<UndoSession>* out);

  jukepak::SectorDevice& device() { return device_; }
  // Records the digest of what the command left, before the device closes;
  // prints the file's name and what it saved (on stderr, so --json output
  // stays one document). kExitOk, or prints why and kExitFailed.
  int Finish(const CliContext& context);

 private:
  UndoSession(std::string path, std::unique_ptr<jukepak::undo::FileUndoStore> store,
              jukepak::SectorDevice* target, const std::string& operation);

  std::string path_;
  std::unique_ptr<jukepak::undo::FileUndoStore> store_;
  jukepak::undo::UndoDevice device_;
};

}  // namespace songlift::cli
