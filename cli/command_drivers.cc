// drivers: the driver modules a user can choose, as Songlift's Driver dialog
// lists them; the one in use is marked.

#include "app/settings.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "driver/driver_catalog.h"

namespace songlift::cli {

int RunDrivers(CliContext& context) {
  if (!context.args().empty()) return context.Usage("drivers takes no arguments");
  const std::string in_use = Settings::ReadDriver().toStdString();
  const std::vector<jukepak::DriverCandidate> found = jukepak::FindUsableDrivers();
  if (context.options().json) {
    JsonWriter json;
    json.BeginArray();
    for (const auto& candidate : found) {
      json.BeginObject()
          .Key("name")
          .String(candidate.displayName)
          .Key("path")
          .String(candidate.path)
          .Key("inUse")
          .Bool(candidate.path == in_use)
          .EndObject();
    }
    json.EndArray();
    context.Out(json.text() + "\n");
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
