// Volmend's start-up: which driver module to bind and binding it.
//
// The module is the one the "Driver" setting names (in the settings store
// Songlift and Volmend share); "--image FILE" uses diskimage.dld on FILE and "--driver MODULE"
// names another module (a path, or a file name looked for where driver
// modules are found), as in songlift-cli. A module lacking any of the nine
// entry points is refused before any call.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "driver/driver_device.h"
#include "frontend/settings.h"

namespace volmend {

enum class StartupFailure {
  kNone,
  kUsage,          // an argument Volmend does not know
  kNoSettings,     // "Can't open registry key!"
  kNoDriverValue,  // "Can't retrieve key value!"
  kCannotLoad,     // "Can't load driver DLL!"
  kMissingEntry,   // "Can't locate DLL function: <name>"
};

struct Startup {
  StartupFailure failure = StartupFailure::kNone;
  QString message;  // the message box text (or the usage text)
  std::unique_ptr<jukepak::DriverDevice> device;  // not yet opened
};

inline constexpr char kErrorCaption[] = "Error";

// Parses the arguments (without the program name), finds and loads the
// module. Sets JUKEPAK_IMAGE for --image. On failure `device` is empty and
// `message` says why, in the words of the message box to show.
Startup BindDriverModule(frontend::SettingsStore& settings, const QStringList& arguments);

}  // namespace volmend
