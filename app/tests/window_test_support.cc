#include "window_test_support.h"

#include <QTest>

#include "app/songlift_dlg.h"

namespace songlift::testing {

bool WaitForIdleWindow(const CSongliftDlg& window, int limit_ms) {
  return QTest::qWaitFor([&window] { return !window.working(); }, limit_ms);
}

frontend::MessageBoxes::Answer ScriptedBoxes::Show(QWidget*, Kind, const QString& caption,
                                         const QString& text, Buttons buttons) {
  shown.push_back({caption, text, QString()});
  if (!answers_.empty()) {
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  if (buttons == Buttons::kYesNoDefaultNo) return Answer::kNo;
  return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
}

frontend::MessageBoxes::Answer ScriptedBoxes::ShowWithChoice(QWidget* owner, Kind kind,
                                                             const QString& caption,
                                                             const QString& text, Buttons buttons,
                                                             const QString& choice,
                                                             bool* checked) {
  if (!checks_.empty()) {
    *checked = checks_.front();
    checks_.pop_front();
  }
  const Answer answer = Show(owner, kind, caption, text, buttons);
  shown.back().choice = choice;
  return answer;
}

}  // namespace songlift::testing
