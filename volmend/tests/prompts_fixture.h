// What Volmend's window tests share: one QApplication on the offscreen
// platform, scripted message boxes and waiting while the event loop runs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "volmend/checker_prompts.h"

namespace volmend {

// The application object every test of the binary shares. It is made before
// the first test and deleted after the last, while Qt's own globals still
// exist (deleting it during static destruction crashes).
class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "volmend_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

inline const bool kApplicationRegistered =
    (::testing::AddGlobalTestEnvironment(new ApplicationEnvironment), true);

inline void EnsureApplication() { ASSERT_NE(QApplication::instance(), nullptr); }

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

// Runs the event loop until `done` or `ms` milliseconds have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QTest::qWait(5);
  }
  return true;
}

}  // namespace volmend
