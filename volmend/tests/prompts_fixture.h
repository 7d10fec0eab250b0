// What Volmend's window tests share beside frontend/testing/window_testing.h:
// the message boxes, recorded and answered by script.
#pragma once

#include <QWidget>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "volmend/checker_prompts.h"

namespace volmend {

struct ShownBox {
  std::string text;
  std::string caption;
  bool ownedByDialog;
  bool operator==(const ShownBox&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const ShownBox& b) {
    return os << "[" << b.caption << "] " << b.text;
  }
};

// Records every message box and answers the Yes/No questions as scripted:
// from `answers` while it lasts, then `answerYes`.
class ScriptedPrompts : public CheckerPrompts {
 public:
  bool answerYes = true;
  std::deque<bool> answers;
  QWidget* dialog = nullptr;  // the expected owner
  std::vector<ShownBox> boxes;

  void Notice(QWidget* owner, const QString& text, const QString& caption) override {
    boxes.push_back({text.toStdString(), caption.toStdString(), owner == dialog});
  }
  bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) override {
    boxes.push_back({text.toStdString(), caption.toStdString(), owner == dialog});
    if (answers.empty()) return answerYes;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
};

}  // namespace volmend
