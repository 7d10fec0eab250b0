#include "frontend/message_boxes.h"

#include <QMessageBox>

namespace frontend {
namespace {

class DialogBoxes : public MessageBoxes {
 public:
  Answer Show(QWidget* owner, Kind kind, const QString& caption, const QString& text,
              Buttons buttons) override {
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == Buttons::kOkCancel) standard = QMessageBox::Ok | QMessageBox::Cancel;
    if (buttons == Buttons::kYesNo || buttons == Buttons::kYesNoDefaultNo) {
      standard = QMessageBox::Yes | QMessageBox::No;
    }
    QMessageBox::Icon icon = QMessageBox::Information;
    if (kind == Kind::kWarning) icon = QMessageBox::Warning;
    if (kind == Kind::kQuestion) icon = QMessageBox::Question;
    QMessageBox box(icon, caption, text, standard, owner);
    if (buttons == Buttons::kYesNoDefaultNo) box.setDefaultButton(QMessageBox::No);
    switch (box.exec()) {
      case QMessageBox::Cancel: return Answer::kCancel;
      case QMessageBox::Yes: return Answer::kYes;
      case QMessageBox::No: return Answer::kNo;
      default: return Answer::kOk;
    }
  }
};

MessageBoxes* g_installed = nullptr;

}  // namespace

MessageBoxes& MessageBoxes::Current() {
  static DialogBoxes dialogs;
  return g_installed != nullptr ? *g_installed : dialogs;
}

void MessageBoxes::Install(MessageBoxes* boxes) { g_installed = boxes; }

}  // namespace frontend
