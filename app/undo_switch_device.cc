#include "app/undo_switch_device.h"

namespace songlift {

jukepak::Result UndoSwitchDevice::Write(uint32_t sector, uint32_t count, const uint8_t* in) {
  if (armed_ != nullptr) return armed_->Write(sector, count, in);
  return target_->Write(sector, count, in);
}

void UndoSwitchDevice::Arm(const QString& folder, const QString& volume,
                           const QString& operation) {
  armed_ = std::make_unique<frontend::UndoChoiceDevice>(target_.get(), folder, volume, operation);
}

std::unique_ptr<frontend::UndoChoiceDevice> UndoSwitchDevice::Disarm(jukepak::Result* finished) {
  *finished = armed_ != nullptr ? armed_->Finish() : jukepak::Result::Ok();
  return std::move(armed_);
}

}  // namespace songlift
