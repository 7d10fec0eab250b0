#include "app/window_reporter.h"

#include <memory>

#include "app/songlift_dlg.h"

namespace songlift {

WindowReporter::WindowReporter(QObject* parent) : QObject(parent) {}

void WindowReporter::Deliver(std::function<void(CSongliftDlg&)> apply) {
  window_thread_.Deliver([this, apply = std::move(apply)] {
    if (window_ != nullptr) apply(*window_);
  });
}

void WindowReporter::ShowStatus(std::string_view text) {
  const QString status = QString::fromUtf8(text.data(), qsizetype(text.size()));
  Deliver([status](CSongliftDlg& window) { window.ShowStatus(status); });
}

void WindowReporter::DeviceStateChanged(jukepak::DeviceState state) {
  Deliver([state](CSongliftDlg& window) { window.OnDeviceState(state); });
}

void WindowReporter::BusyStateChanged(jukepak::BusyState state) {
  Deliver([this, state](CSongliftDlg& window) {
    window.OnBusyState(state);
    emit busyStateChanged(int(state));
  });
}

void WindowReporter::PlayerDirectoryChanged(const jukepak::DirectorySnapshot& directory) {
  auto copy = std::make_shared<const jukepak::DirectorySnapshot>(directory);
  Deliver([copy](CSongliftDlg& window) { window.ShowDirectory(*copy); });
}

void WindowReporter::PendingListChanged(const jukepak::PendingSnapshot& pending) {
  auto copy = std::make_shared<const jukepak::PendingSnapshot>(pending);
  Deliver([copy](CSongliftDlg& window) { window.ShowPending(*copy); });
}

void WindowReporter::SyncProgressed(const jukepak::SyncProgress& progress) {
  {
    jukepak::MutexLock lock(&progress_mutex_);
    latest_progress_ = progress;
    if (progress_queued_) return;  // the queued delivery takes this one too
    progress_queued_ = true;
  }
  window_thread_.Deliver([this] { DeliverProgress(); });
}

void WindowReporter::DeliverProgress() {
  jukepak::SyncProgress progress;
  {
    jukepak::MutexLock lock(&progress_mutex_);
    progress = latest_progress_;
    progress_queued_ = false;
  }
  if (window_ != nullptr) window_->ShowProgress(progress);
}

void WindowReporter::JobEnded(const jukepak::JobSummary& summary) {
  auto copy = std::make_shared<const jukepak::JobSummary>(summary);
  Deliver([copy](CSongliftDlg& window) { window.ShowJobEnd(*copy); });
}

}  // namespace songlift
