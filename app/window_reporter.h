// WindowReporter: the engine's VolumeReporter for Songlift's window. Calls
// made on the window thread run at once; calls from the worker thread are
// handed to the window thread through a WindowCaller, so the worker waits
// until the window has run them (and tree handles are valid when the call
// returns). Nothing touches a widget from the worker thread. The reporter
// must outlive the worker; it is made on the window thread.
#pragma once

#include <QObject>
#include <functional>

#include "frontend/window_caller.h"
#include "volume/volume_reporter.h"

namespace songlift {

class CSongliftDlg;

class WindowReporter : public QObject, public jukepak::VolumeReporter {
  Q_OBJECT
 public:
  explicit WindowReporter(QObject* parent = nullptr);

  // The window the calls go to; until it is set, calls only keep the states.
  void Attach(CSongliftDlg* window) { window_ = window; }

  void ShowStatus(std::string_view text) override;
  void DeviceStateChanged(jukepak::DeviceState state) override;
  void BusyStateChanged(jukepak::BusyState state) override;
  jukepak::TreeItem InsertCdItem(jukepak::Tree tree, std::string_view label, jukepak::CdNode* cd,
                                 bool first) override;
  jukepak::TreeItem InsertTrackItem(jukepak::Tree tree, jukepak::TreeItem cd_item,
                                    std::string_view label, jukepak::TrackNode* track) override;
  void SetItemLabel(jukepak::Tree tree, jukepak::TreeItem item, std::string_view label) override;
  void DeleteItem(jukepak::Tree tree, jukepak::TreeItem item) override;
  void DeleteChildren(jukepak::Tree tree, jukepak::TreeItem item) override;
  void ClearTree(jukepak::Tree tree) override;
  void RedrawTree(jukepak::Tree tree) override;
  void BeginAll(int pending_cds) override;
  void BeginCd(int tracks) override;
  void BeginTrack(std::string_view title, uint32_t clusters) override;
  void TrackPosition(uint32_t cluster_index) override;
  void EndAll() override;

 signals:
  // Emitted on the window thread after every busy-state change.
  void busyStateChanged(int state);

 private:
  // Runs `call` on the window thread, waiting for it when called from another thread.
  void OnWindowThread(const std::function<void()>& call);

  CSongliftDlg* window_ = nullptr;
  frontend::WindowCaller window_thread_;
};

}  // namespace songlift
