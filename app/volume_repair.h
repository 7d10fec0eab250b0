// VolumeRepair: the answer to the integrity check's "Would you like to fix
// them now?". It runs the checker's two passes over the mounted player on a
// thread of its own, while the window keeps every volume command disabled
// (busyState kRepair): the dry run first, whose findings (what the repair
// will remove) the user sees and confirms once more, default No, with the
// choice to keep an undo file, then the repair. When it ends the window
// shows what was done and mounts the volume again.
#pragma once

#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>

#include "checker/check_console.h"
#include "checker/check_run.h"
#include "frontend/window_caller.h"

namespace songlift {

class CSongliftDlg;

class VolumeRepair : public QObject, private jukepak::checker::CheckConsole {
  Q_OBJECT
 public:
  explicit VolumeRepair(CSongliftDlg* window);
  ~VolumeRepair() override;

  // Starts the run over the engine's device. The window has set kRepair.
  void Start();
  bool running() const { return thread_.joinable(); }

 signals:
  // On the window thread, once the run has ended and the thread is joined.
  void finished(int outcome, const QStringList& lines);

 private:
  // CheckConsole, called on the repair thread.
  void ListLine(const std::string& line) override;
  void TitleLine(const std::string& line) override;
  bool StopRequested() override { return false; }
  void OfferRepair(bool) override {}
  jukepak::checker::RepairDecision AwaitRepair(bool reinitialize) override;
  bool ConfirmReinitialize() override { return false; }
  void ShowNotice(jukepak::checker::Notice notice) override;

  void Finish(jukepak::checker::CheckOutcome outcome);

  CSongliftDlg* window_;
  frontend::WindowCaller window_thread_;  // the repair thread's calls to the window
  std::thread thread_;
  QStringList lines_;  // touched by the repair thread only until it ends
};

}  // namespace songlift
