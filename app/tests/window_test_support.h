// What Songlift's window tests share: message boxes answered by script, and
// the support every window test has (frontend/testing/window_testing.h).
#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "frontend/message_boxes.h"
#include "frontend/testing/window_testing.h"

namespace songlift {
class CSongliftDlg;
}

namespace songlift::testing {

using frontend::testing::BuiltModule;
using frontend::testing::HandleNextDialog;
using frontend::testing::IsolateUserFolders;
using frontend::testing::MakeImage;

// Serves the window's events until its job (and a repair behind it) has
// ended and the window has taken the job's last event; false when that takes
// longer than `limit_ms`.
bool WaitForIdleWindow(const CSongliftDlg& window, int limit_ms = 20000);

// Records every box and answers from a script (default: OK, Yes, or No
// where the box's default button is No; a check box keeps its state).
class ScriptedBoxes : public frontend::MessageBoxes {
 public:
  struct Shown {
    QString caption;
    QString text;
    QString choice;  // the check box's label, if the box had one
  };
  ScriptedBoxes() { Install(this); }
  ~ScriptedBoxes() override { Install(nullptr); }
  Answer Show(QWidget* owner, Kind kind, const QString& caption, const QString& text,
              Buttons buttons) override;
  Answer ShowWithChoice(QWidget* owner, Kind kind, const QString& caption, const QString& text,
                        Buttons buttons, const QString& choice, bool* checked) override;
  void AnswerNext(Answer answer) { answers_.push_back(answer); }
  // The state the next box's check box is left in.
  void CheckNext(bool checked) { checks_.push_back(checked); }

  std::vector<Shown> shown;

 private:
  std::deque<Answer> answers_;
  std::deque<bool> checks_;
};

}  // namespace songlift::testing
