// The worker thread of Volmend and the handshake that ends it.
//
// One worker makes every device call of the run but Close (RunCheck over the
// bound device). Its report lines, titles and the enabling of the buttons are
// handed to the window thread and the worker goes on at once; only the
// questions and notices to the user wait for their answer. The calls run on
// the window thread in the order they were handed over; the worker's last
// call hands the outcome over and ends the dialog. The window thread and the
// worker share one state word (worker_state.h); the worker waits for the
// user's answer to "Repair?" on its condition variable.
//
// When the dialog has ended the window thread asks the worker to stop and
// waits for its end by running its event loop, so a question the worker
// asks meanwhile is still served; only then may the caller close the device.
#pragma once

#include <QObject>
#include <thread>

#include "checker/check_run.h"
#include "format/sector_device.h"
#include "frontend/undo_choice.h"
#include "frontend/window_caller.h"
#include "volmend/checker_prompts.h"
#include "volmend/volmend_dialog.h"
#include "volmend/worker_state.h"

namespace volmend {

class VolmendSession : public QObject {
  Q_OBJECT

 public:
  // The device and the prompts must outlive the session. The run's writes
  // go through the dialog's "Keep an undo file" choice: while it is on, an
  // undo file in `undo_folder` named after the date and `volume` (by default
  // the image's file name, else "player") keeps what they overwrite, and the
  // report's last line names it.
  VolmendSession(jukepak::SectorDevice* device, CheckerPrompts* prompts,
                 QString undo_folder = frontend::UndoFolder(), QString volume = QString());
  ~VolmendSession() override;  // stops and waits for the worker when still running

  VolmendDialog& dialog() { return dialog_; }

  // Shows the dialog (buttons off) and starts the worker. Once only.
  void Start();
  // The program's flow: Start, the dialog modally, then Stop. Returns 0.
  int Exec();
  // The stop handshake: asks the worker to stop (at its next stop check, or
  // at once while it waits for the user) and runs the event loop until it
  // has ended. Returns at once when no worker runs.
  void Stop();

  // True once the end of the run has reached the window thread.
  bool workerFinished() const;
  // What the run ended with; meaningful once the worker has finished.
  jukepak::checker::CheckOutcome outcome() const { return outcome_; }
  // The undo file the run kept, empty when it kept none.
  const QString& undoFile() const { return undo_.path(); }
  int state() const { return state_.value(); }

  // The window side of the state word (also what the buttons do).
  void RequestRepair();
  void RequestStop();

 signals:
  void workerEnded();

 private:
  frontend::UndoChoiceDevice undo_;
  CheckerPrompts* prompts_;
  VolmendDialog dialog_;
  frontend::WindowCaller window_;  // before the worker, which it must outlive
  SharedWorkerState state_;
  std::thread worker_;
  // Window thread only: set by the worker's last call.
  jukepak::checker::CheckOutcome outcome_ = jukepak::checker::CheckOutcome::kCancelled;
  bool ended_ = false;
};

}  // namespace volmend
