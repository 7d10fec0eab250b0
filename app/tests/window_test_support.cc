#include "window_test_support.h"

namespace songlift::testing {

frontend::MessageBoxes::Answer ScriptedBoxes::Show(QWidget*, Kind, const QString& caption,
                                         const QString& text, Buttons buttons) {
  shown.push_back({caption, text});
  if (!answers_.empty()) {
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  if (buttons == Buttons::kYesNoDefaultNo) return Answer::kNo;
  return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
}

}  // namespace songlift::testing
