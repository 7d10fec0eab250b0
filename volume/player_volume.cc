#include "volume/player_volume.h"

#include "base/debug_channel.h"

namespace jukepak {

PlayerVolume::PlayerVolume(VolumeReporter* reporter) : reporter_(reporter) {}

PlayerVolume::~PlayerVolume() { UnbindDriver(); }

Result PlayerVolume::BindDevice(std::unique_ptr<SectorDevice> device) {
  UnbindDriver();
  return Attach(device);
}

void PlayerVolume::RefuseBinding(const Result& why) {
  UnbindDriver();
  bind_error_ = why.message();
  SetDeviceState(DeviceState::kNoDriver);
}

Result PlayerVolume::Attach(std::unique_ptr<SectorDevice>& device) {
  bind_error_.clear();
  const Result opened = device->Open();
  if (!opened.ok()) {
    bind_error_ = opened.message();
    SetDeviceState(DeviceState::kNoDriver);
    return opened;
  }
  device_ = std::move(device);
  worker_ = std::make_unique<TransferWorker>(TransferWorker::JobTable{
      [this] { RunQueuedJob(Job::kSync); }, [this] { RunQueuedJob(Job::kMount); },
      [this] { RunQueuedJob(Job::kInit); }, [this] { RunQueuedJob(Job::kTask); }});
  // A device bound after a failed one must not stay "no driver": its volume
  // is simply not looked at yet, so the mount can follow at once.
  SetDeviceState(DeviceState::kStartUp);
  return Result::Ok();
}

void PlayerVolume::UnbindDriver() {
  if (worker_ != nullptr) {
    worker_->Stop();
    worker_.reset();
  }
  model_.fat.Clear();
  if (device_ == nullptr) return;
  // The directory belongs to the player just released; nothing may edit it now.
  ClearPlayerDirectory();
  device_->Close();
  device_.reset();
}

bool PlayerVolume::CheckVolume() {
  if (deviceState() == DeviceState::kNoDriver || device_ == nullptr) return false;
  const Result read = device_->Read(0, format::kHeaderSectors, model_.header.data());
  if (!read.ok()) {
    (void)ReportDriverFailure("Could not read the volume header", read);
    return false;
  }
  return model_.header.HasSignature();
}

void PlayerVolume::SignalJob(Job job) {
  if (worker_ != nullptr) worker_->Signal(job);
}

Result PlayerVolume::RunJobNow(Job job) {
  switch (job) {
    case Job::kMount:
      SetBusyState(BusyState::kMount);
      break;
    case Job::kInit:
      SetDeviceState(DeviceState::kNoVolume);
      SetBusyState(BusyState::kInitialize);
      break;
    case Job::kSync:
      SetBusyState(BusyState::kSync);
      break;
    case Job::kTask:
      break;
  }
  return RunJob(job);
}

Result PlayerVolume::RunJob(Job job) {
  JobSummary summary;
  summary.job = job;
  switch (job) {
    case Job::kMount:
      summary.result = MountJob();
      break;
    case Job::kInit:
      summary.result = InitJob();
      break;
    case Job::kSync:
      summary.result = SyncJob();
      summary.sync = lastSyncSummary();
      break;
    case Job::kTask:
      summary.result = TaskJob();
      break;
  }
  reporter_->JobEnded(summary);
  SetBusyState(BusyState::kIdle);
  return summary.result;
}

bool PlayerVolume::SignalTask(std::function<void()> task) {
  if (worker_ == nullptr) return false;
  {
    MutexLock lock(&task_mutex_);
    task_ = std::move(task);
  }
  worker_->Signal(Job::kTask);
  return true;
}

Result PlayerVolume::TaskJob() {
  std::function<void()> task;
  {
    MutexLock lock(&task_mutex_);
    task.swap(task_);
  }
  if (!task) return Result::Error(ResultCode::kInvalidArgument, "no task was handed over");
  task();
  return Result::Ok();
}

void PlayerVolume::RequestCancel() { cancel_requested_.store(true); }

bool PlayerVolume::CancelRequested() const { return cancel_requested_.load(); }

void PlayerVolume::ClearCancel() { cancel_requested_.store(false); }

void PlayerVolume::SetDeviceState(DeviceState state) {
  device_state_.store(state);
  reporter_->DeviceStateChanged(state);
}

void PlayerVolume::SetBusyState(BusyState state) {
  busy_state_.store(state);
  reporter_->BusyStateChanged(state);
}

Result PlayerVolume::ReportDriverFailure(const std::string& what, const Result& failure) {
  DebugPrint("%s: %s\n", what.c_str(), failure.message().c_str());
  reporter_->ShowStatus(what + ": " + failure.message());
  SetDeviceState(DeviceState::kNoDriver);
  return failure;
}

Result PlayerVolume::FlushFat() {
  if (device_ == nullptr || !model_.fat.loaded()) return Result::Ok();
  if (ReadOnly()) return Result::Error(ResultCode::kCorrupt, kDamagedDirectory);
  uint8_t sector[format::kSectorSize];
  for (uint32_t i = 0; i < model_.fat.sectorCount(); ++i) {
    if (!model_.fat.dirty(i)) continue;
    model_.fat.clearDirty(i);
    model_.fat.EncodeSector(i, sector);
    const Result written = device_->Write(model_.header.fatStart() + i, 1, sector);
    if (!written.ok()) {
      model_.fat.markDirty(i);
      return written;
    }
  }
  return Result::Ok();
}

Result PlayerVolume::WriteHeader() {
  if (device_ == nullptr) return Result::Error(ResultCode::kIoError, "no driver is bound");
  if (ReadOnly()) return Result::Error(ResultCode::kCorrupt, kDamagedDirectory);
  // Sector 1 (the remote table) first, the signature sector last: a write
  // torn by a power cut never leaves "MPFS" in front of a stale or garbage
  // remote table, and an initialization cut anywhere before its very last
  // sector leaves a disk that is still offered for initialization.
  static_assert(format::kHeaderSectors == 2);
  Result r = device_->Write(1, 1, model_.header.data() + format::kSectorSize);
  if (!r.ok()) return r;
  return device_->Write(0, 1, model_.header.data());
}

uint32_t PlayerVolume::ReadRemoteCode() {
  return device_ != nullptr ? device_->ReadRemoteCode() : 0;
}

uint32_t PlayerVolume::GetRemoteCode(uint32_t slot) const {
  return slot < format::kRemoteSlots ? model_.header.remoteEntry(slot) : 0;
}

void PlayerVolume::SetRemoteCode(uint32_t slot, uint32_t entry) {
  if (slot < format::kRemoteSlots) model_.header.setRemoteEntry(slot, entry);
}

bool PlayerVolume::IsTrackStart(uint32_t cluster) const {
  for (const auto& cd : model_.playerCds) {
    for (const auto& track : cd->tracks) {
      if (track->firstCluster == cluster) return true;
    }
  }
  return false;
}

}  // namespace jukepak
