// WindowReporter: the engine's VolumeReporter for Songlift's window. Every
// event is handed to the window thread with the values it carries, and the
// engine goes on at once: nothing here waits for the window, and nothing
// touches a widget from the worker thread. Events of the window thread itself
// (edits, additions) are applied at once. Progress comes after every cluster
// a sync writes; only the newest is kept until the window takes it, so a
// fast sync cannot flood the window thread.
//
// The reporter is made on the window thread and must outlive the engine's
// worker; events delivered after Attach(nullptr) are dropped.
#pragma once

#include <QObject>

#include "base/mutex.h"
#include "frontend/window_caller.h"
#include "volume/volume_reporter.h"

namespace songlift {

class CSongliftDlg;

class WindowReporter : public QObject, public jukepak::VolumeReporter {
  Q_OBJECT
 public:
  explicit WindowReporter(QObject* parent = nullptr);

  // The window the events go to. Window thread.
  void Attach(CSongliftDlg* window) { window_ = window; }

  void ShowStatus(std::string_view text) override;
  void DeviceStateChanged(jukepak::DeviceState state) override;
  void BusyStateChanged(jukepak::BusyState state) override;
  void PlayerDirectoryChanged(const jukepak::DirectorySnapshot& directory) override;
  void PendingListChanged(const jukepak::PendingSnapshot& pending) override;
  void SyncProgressed(const jukepak::SyncProgress& progress) override;
  void JobEnded(const jukepak::JobSummary& summary) override;

  // Runs the events handed over but not yet applied, at once. Window thread;
  // for the moment a worker has been joined, so that nothing it sent is
  // applied after what the window does next.
  void DeliverPending() { window_thread_.RunPending(); }

 signals:
  // Emitted on the window thread after every busy-state change.
  void busyStateChanged(int state);

 private:
  // Runs `apply` on the window thread: at once there, queued from another.
  void Deliver(std::function<void(CSongliftDlg&)> apply);
  void DeliverProgress();

  CSongliftDlg* window_ = nullptr;  // window thread only
  frontend::WindowCaller window_thread_;
  jukepak::Mutex progress_mutex_;
  jukepak::SyncProgress latest_progress_ GUARDED_BY(progress_mutex_);
  bool progress_queued_ GUARDED_BY(progress_mutex_) = false;
};

}  // namespace songlift
