#include "app/songlift_app.h"

#include "app/songlift_dlg.h"
#include "app/undo_switch_device.h"
#include "frontend/bind_player.h"

namespace songlift {

SongliftApp::SongliftApp(QString driver_override)
    : driver_override_(std::move(driver_override)),
      volume_(std::make_unique<jukepak::PlayerVolume>(&reporter_)) {
  volume_->SetDeviceState(jukepak::DeviceState::kStartUp);
}

SongliftApp::~SongliftApp() {
  volume_->UnbindDriver();
  reporter_.Attach(nullptr);  // events still queued find no window
  window_.reset();
}

jukepak::Result SongliftApp::BindDriver(const QString& path) {
  // Every write goes through the switch, so an initialization can keep an undo file.
  return frontend::BindPlayerModule(
      *volume_, path.toStdString(), [](std::unique_ptr<jukepak::SectorDevice> device) {
        return std::unique_ptr<jukepak::SectorDevice>(
            std::make_unique<UndoSwitchDevice>(std::move(device)));
      });
}

UndoSwitchDevice* SongliftApp::undoSwitch() {
  return dynamic_cast<UndoSwitchDevice*>(volume_->device());
}

CSongliftDlg* SongliftApp::Start() {
  driver_path_ = QString::fromStdString(settings_.ReadDriver());
  options_ = settings_.ReadOptions();
  ApplyOptions();
  window_ = std::make_unique<CSongliftDlg>(this);
  reporter_.Attach(window_.get());
  (void)BindDriver(driver_override_.isEmpty() ? driver_path_ : driver_override_);
  return window_.get();
}

void SongliftApp::ApplyOptions() {
  jukepak::SyncOptions sync = volume_->syncOptions();
  sync.skipDuplicates = options_.skipDuplicates != 0;
  sync.bitrateKbps = uint32_t(options_.bitrateKbps);
  volume_->SetSyncOptions(sync);
}

int SongliftApp::Run() {
  CSongliftDlg* window = Start();
  window->exec();
  volume_->UnbindDriver();
  return 0;
}

}  // namespace songlift
