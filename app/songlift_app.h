// SongliftApp: the application object. It lives for the whole run and holds
// the settings (the driver path and the options), the engine with the
// reporter that feeds the window, and the main window while it runs.
//
// Start-up: read the settings, build the window, bind the driver, run the
// window; shutdown: unbind the driver once the window has closed.
#pragma once

#include <QString>
#include <memory>

#include "app/window_reporter.h"
#include "frontend/qsettings_store.h"
#include "volume/player_volume.h"

namespace songlift {

class CSongliftDlg;
class UndoSwitchDevice;

class SongliftApp {
 public:
  // `driver_override`, when not empty, is bound instead of the stored driver
  // for this run only (it is not stored). The engine starts in deviceState 1.
  explicit SongliftApp(QString driver_override = {});
  ~SongliftApp();

  // Start-up steps 2-5: settings, the window, the driver. Returns the window.
  CSongliftDlg* Start();
  // Runs the window modally and unbinds the driver when it closes; the exit status.
  int Run();

  const QString& driverPath() const { return driver_path_; }
  // The module bound now: the override of this run, else the driver path.
  QString driverInUse() const { return driver_override_.isEmpty() ? driver_path_ : driver_override_; }
  // After the user chose another driver, it is the one in use.
  void clearDriverOverride() { driver_override_.clear(); }
  void setDriverPath(const QString& path) { driver_path_ = path; }
  frontend::Options& options() { return options_; }
  frontend::SettingsStore& settings() { return settings_; }
  // Hands the options the engine uses (sync, bitrate) to it; after a change.
  void ApplyOptions();
  jukepak::PlayerVolume& volume() { return *volume_; }
  // The device the engine is bound to, through which writes may keep an
  // undo file; nullptr while none is bound.
  UndoSwitchDevice* undoSwitch();
  WindowReporter& reporter() { return reporter_; }
  CSongliftDlg* mainWindow() const { return window_.get(); }

  // Binds the module at `path` (the driver path, or the override); on
  // failure the Result (also volume().bindError()) says why.
  jukepak::Result BindDriver(const QString& path);

 private:
  QString driver_override_;
  QString driver_path_;
  frontend::QSettingsStore settings_;
  frontend::Options options_{0, 0, 0, 0, 0, 192};
  WindowReporter reporter_;
  std::unique_ptr<jukepak::PlayerVolume> volume_;
  std::unique_ptr<CSongliftDlg> window_;
};

}  // namespace songlift
