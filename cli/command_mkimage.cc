// mkimage FILE SECTORS: a new zero-filled sparse image, for the disk-image
// and simulated-port drivers. It never overwrites an existing file.

#include <QJsonObject>

#include "cli/commands.h"
#include "driver/image_file.h"

namespace songlift::cli {

int RunMkimage(CliContext& context) {
  const auto& args = context.args();
  uint64_t sectors = 0;
  if (!ParseNumber(args[1], 1, 0xFFFFFFFFull, &sectors)) {
    return context.Usage("SECTORS must be a whole number from 1 to 4294967295, not '" + args[1] +
                         "'");
  }
  const jukepak::Result made = jukepak::CreateSparseImage(args[0], sectors);
  if (!made.ok()) return context.Fail(made.message());
  context.OutJson(
      QJsonObject{{"image", QString::fromStdString(args[0])}, {"sectors", qint64(sectors)}});
  return kExitOk;
}

}  // namespace songlift::cli
