// MessageBoxes: every notice and question the window shows, behind one small
// interface so that tests can answer them without a person. The default
// shows QMessageBox dialogs.
#pragma once

#include <QString>

class QWidget;

namespace frontend {

class MessageBoxes {
 public:
  enum class Answer { kOk, kCancel, kYes, kNo };
  enum class Buttons { kOk, kOkCancel, kYesNo, kYesNoDefaultNo };
  enum class Kind { kInformation, kWarning, kQuestion };

  virtual ~MessageBoxes() = default;
  virtual Answer Show(QWidget* owner, Kind kind, const QString& caption, const QString& text,
                      Buttons buttons) = 0;
  // Show with a check box under the text labelled `choice` ("Keep an undo
  // file"); *checked is its state when the box opens and when it closes.
  // By default the box is shown without it and *checked stays as it is.
  virtual Answer ShowWithChoice(QWidget* owner, Kind kind, const QString& caption,
                                const QString& text, Buttons buttons, const QString& choice,
                                bool* checked);

  // The instance in use; the QMessageBox one unless a test installed another.
  static MessageBoxes& Current();
  // Installs `boxes` (not owned); nullptr restores the default.
  static void Install(MessageBoxes* boxes);
};

}  // namespace frontend
