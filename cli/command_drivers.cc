// drivers: the driver modules a user can choose, as Songlift's Driver dialog
// lists them; the one in use is marked.

#include <QJsonArray>
#include <QJsonObject>

#include "cli/commands.h"
#include "driver/driver_catalog.h"

namespace songlift::cli {

int RunDrivers(CliContext& context) {
  const std::string in_use = context.settings().ReadDriver();
  const std::vector<jukepak::DriverCandidate> found = jukepak::FindUsableDrivers();
  if (context.options().json) {
    QJsonArray drivers;
    for (const auto& candidate : found) {
      drivers.append(QJsonObject{{"name", QString::fromStdString(candidate.displayName)},
                                 {"path", QString::fromStdString(candidate.path)},
                                 {"inUse", candidate.path == in_use}});
    }
    context.OutJson(drivers);
    return kExitOk;
  }
  std::string text;
  for (const auto& candidate : found) {
    text += (candidate.path == in_use ? "* " : "  ") + candidate.displayName + "\t" +
            candidate.path + "\n";
  }
  context.Out(text);
  return kExitOk;
}

}  // namespace songlift::cli
