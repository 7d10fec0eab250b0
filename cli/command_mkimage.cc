// mkimage FILE SECTORS: a new zero-filled sparse image, for the disk-image
// and simulated-port drivers. It never overwrites an existing file.

#include "cli/commands.h"
#include "driver/image_file.h"

namespace songlift::cli {

int RunMkimage(CliContext& context) {
  const auto& args = context.args();
  if (args.size() != 2) return context.Usage("mkimage needs FILE and SECTORS");
  uint64_t sectors = 0;
  if (!ParseNumber(args[1], 1, 0xFFFFFFFFull, &sectors)) {
    return context.Usage("SECTORS must be a whole number from 1 to 4294967295, not '" + args[1] +
                         "'");
  }
  const jukepak::Result made = jukepak::CreateSparseImage(args[0], sectors);
  if (!made.ok()) return context.Fail(made.message());
  return kExitOk;
}

}  // namespace songlift::cli
