// The sync: writes the pending additions to the player.

#include "volume/player_volume.h"

namespace jukepak {

Result PlayerVolume::SyncJob() {
  reporter_->ShowStatus("Writing new tracks...");
  // Pending songs enter the list through the pending-additions engine, which
  // does not exist yet; with nothing pending the job only reports its end.
  reporter_->EndAll();
  if (worker_ != nullptr) worker_->ClearCancel();
  reporter_->ShowStatus("Ready");
  SetDeviceState(DeviceState::kReady);
  SetBusyState(BusyState::kIdle);
  return Result::Ok();
}

}  // namespace jukepak
