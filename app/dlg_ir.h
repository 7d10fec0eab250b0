// DlgIr ("Set Remote Control"): teaches the player the codes of a remote.
// The user presses a function's button, then the remote's button; the code
// the driver receives (polled every 100 ms) is assigned to that function.
// Buttons of functions that share a code show the code on a second line. On
// OK the whole code table is rewritten and written to the player; Cancel
// changes nothing.
#pragma once

#include <QDialog>
#include <array>

#include "volume/player_volume.h"
#include "volume/remote_functions.h"

class QPushButton;
class QTimer;

namespace songlift {

class DlgIr : public QDialog {
  Q_OBJECT
 public:
  // `notify_duplicate`: warn on OK when two functions share a code.
  DlgIr(jukepak::PlayerVolume* volume, bool notify_duplicate, QWidget* parent = nullptr);

  // One poll of the receiver, as the timer does it.
  void PollRemote();
  // The function waiting for a code (0 when none).
  int learningFunction() const { return learning_; }
  const jukepak::RemoteAssignments& entries() const { return entries_; }
  QPushButton* functionButton(int number) const { return buttons_[size_t(number - 1)]; }

 public slots:
  void accept() override;

 private:
  void RefreshConflicts();

  jukepak::PlayerVolume* volume_;
  bool notify_duplicate_;
  jukepak::RemoteAssignments entries_{};
  std::array<uint32_t, jukepak::kRemoteFunctionCount> groups_{};
  std::array<QPushButton*, jukepak::kRemoteFunctionCount> buttons_{};
  int learning_ = 0;
  QTimer* poll_timer_;
};

}  // namespace songlift
