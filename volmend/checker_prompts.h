// CheckerPrompts: Volmend's message boxes, behind an interface so the tests
// answer them without a person. Called on the window thread only; `owner` is
// the dialog (or nullptr before it exists).
#pragma once

#include <QString>

class QWidget;

namespace volmend {

class CheckerPrompts {
 public:
  virtual ~CheckerPrompts() = default;
  // A message box with one OK button.
  virtual void Notice(QWidget* owner, const QString& text, const QString& caption) = 0;
  // A message box with Yes and No; true only for Yes.
  virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) = 0;
};

// The real message boxes (QMessageBox).
class MessageBoxPrompts : public CheckerPrompts {
 public:
  void Notice(QWidget* owner, const QString& text, const QString& caption) override;
  bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) override;
};

}  // namespace volmend
