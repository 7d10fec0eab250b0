#include "volmend/volmend_startup.h"

#include <cstdlib>

#include "driver/bind_module.h"
#include "driver/driver_paths.h"

namespace volmend {
namespace {

constexpr char kUsage[] = "Usage: volmend [--image FILE] [--driver MODULE]\n";

Startup Failed(StartupFailure failure, const QString& message) {
  Startup s;
  s.failure = failure;
  s.message = message;
  return s;
}

// A bare file name is looked for where driver modules live; a path is taken as it is.
std::string ModulePath(const QString& name) {
  const std::string module = name.toStdString();
  if (module.find('/') != std::string::npos) return module;
  const std::string found = jukepak::FindDriverModule(module);
  return found.empty() ? module : found;
}

}  // namespace

Startup BindDriverModule(frontend::SettingsStore& settings, const QStringList& arguments) {
  QString image, driver;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& word = arguments[i];
    if ((word == "--image" || word == "--driver") && i + 1 < arguments.size()) {
      (word == "--image" ? image : driver) = arguments[++i];
    } else {
      return Failed(StartupFailure::kUsage, kUsage);
    }
  }
  std::string path;
  if (!driver.isEmpty()) {
    path = ModulePath(driver);
  } else if (!image.isEmpty()) {
    path = ModulePath("diskimage.dld");
  } else {
    std::string stored;
    switch (settings.ReadDriverSetting(&stored)) {
      case frontend::DriverSetting::kNoSettings:
        return Failed(StartupFailure::kNoSettings, "Can't open registry key!");
      case frontend::DriverSetting::kMissing:
      case frontend::DriverSetting::kNotText:
        return Failed(StartupFailure::kNoDriverValue, "Can't retrieve key value!");
      case frontend::DriverSetting::kPresent:
        path = stored;
        break;
    }
  }
  if (!image.isEmpty()) setenv("JUKEPAK_IMAGE", image.toLocal8Bit().constData(), 1);

  Startup s;
  std::string missing;
  const jukepak::Result bound =
      jukepak::BindModule(path, jukepak::RequiredEntries::kAll, &s.device, &missing);
  // The box names the module, so that the user knows which file to replace.
  const QString module = path.empty() ? QString("(no driver module is set)")
                                      : QString::fromStdString(path);
  if (bound.code() == jukepak::ResultCode::kUnsupported) {
    return Failed(StartupFailure::kMissingEntry,
                  QString("Can't locate DLL function: %1\n\nThe driver module %2 lacks it.")
                      .arg(QString::fromStdString(missing), module));
  }
  if (!bound.ok()) {
    return Failed(StartupFailure::kCannotLoad,
                  QString("Can't load driver DLL!\n\n%1: %2")
                      .arg(module, QString::fromStdString(bound.message())));
  }
  return s;
}

}  // namespace volmend
