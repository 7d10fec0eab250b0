// UndoSwitchDevice: the device Songlift's engine is bound to. It owns the
// module's device and forwards every call to it; while an operation that
// keeps an undo file is armed (Arm ... Disarm), the writes go through that
// operation's UndoChoiceDevice, which saves what they overwrite first.
//
// Arm and Disarm are called on the window thread while no job runs and no
// other device call is in flight (before the job is signalled, and once it
// has reported its end); the worker's calls in between see the armed device
// through the job's own hand-over.
#pragma once

#include <QString>
#include <memory>

#include "frontend/undo_choice.h"

namespace songlift {

class UndoSwitchDevice : public jukepak::SectorDevice {
 public:
  explicit UndoSwitchDevice(std::unique_ptr<jukepak::SectorDevice> target)
      : target_(std::move(target)) {}

  jukepak::Result Open() override { return target_->Open(); }
  void Close() override { target_->Close(); }
  jukepak::Result QuerySectorCount(uint32_t* count) override {
    return target_->QuerySectorCount(count);
  }
  jukepak::Result Read(uint32_t sector, uint32_t count, uint8_t* out) override {
    return target_->Read(sector, count, out);
  }
  jukepak::Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override;
  uint32_t ReadRemoteCode() override { return target_->ReadRemoteCode(); }

  // Sends the writes from now on through a new undo file in `folder`, named
  // after the date, `volume` and `operation` (see UndoChoiceDevice).
  void Arm(const QString& folder, const QString& volume, const QString& operation);
  bool armed() const { return armed_ != nullptr; }
  // Records the digest of what the operation left (*finished, ok when no
  // file was made) and forwards plainly again. Returns the armed device,
  // which tells the file's path and what it saved; nullptr when none was armed.
  std::unique_ptr<frontend::UndoChoiceDevice> Disarm(jukepak::Result* finished);

 private:
  std::unique_ptr<jukepak::SectorDevice> target_;
  std::unique_ptr<frontend::UndoChoiceDevice> armed_;
};

}  // namespace songlift
