// What the window tests share: a settings store and data folder of their own,
// images made for the test, and message boxes answered by script.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "frontend/message_boxes.h"

namespace songlift::testing {

// Points the settings store and the data folder at a fresh temp folder.
// Call before the QApplication is made.
QString IsolateUserFolders();

// A new sparse image of `sectors` sectors in the test folder.
QString MakeImage(const QString& name, uint32_t sectors);

// The path of a module built beside the programs.
QString BuiltModule(const char* file_name);

// The next modal dialog that opens (a QDialog other than a message box) is
// handed to `handle` once shown; `handle` answers it (accept or reject).
// Returns at once; the timer looks for it while the caller's exec() runs.
void HandleNextDialog(std::function<void(QDialog*)> handle);

// Records every box and answers from a script (default: OK, Yes, or No
// where the box's default button is No).
class ScriptedBoxes : public frontend::MessageBoxes {
 public:
  struct Shown {
    QString caption;
    QString text;
  };
  ScriptedBoxes() { Install(this); }
  ~ScriptedBoxes() override { Install(nullptr); }
  Answer Show(QWidget* owner, Kind kind, const QString& caption, const QString& text,
              Buttons buttons) override;
  void AnswerNext(Answer answer) { answers_.push_back(answer); }

  std::vector<Shown> shown;

 private:
  std::deque<Answer> answers_;
};

}  // namespace songlift::testing
