#include "frontend/message_boxes.h"

#include <QCheckBox>
#include <QMessageBox>

namespace frontend {
namespace {

class DialogBoxes : public MessageBoxes {
 public:
  Answer Show(QWidget* owner, Kind kind, const QString& caption, const QString& text,
              Buttons buttons) override {
    return Run(owner, kind, caption, text, buttons, QString(), nullptr);
  }
  Answer ShowWithChoice(QWidget* owner, Kind kind, const QString& caption, const QString& text,
                        Buttons buttons, const QString& choice, bool* checked) override {
    return Run(owner, kind, caption, text, buttons, choice, checked);
  }

 private:
  static Answer Run(QWidget* owner, Kind kind, const QString& caption, const QString& text,
                    Buttons buttons, const QString& choice, bool* checked) {
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
    if (checked != nullptr) {
      auto* check = new QCheckBox(choice, &box);
      check->setChecked(*checked);
      box.setCheckBox(check);
    }
    const int pressed = box.exec();
    if (checked != nullptr) *checked = box.checkBox()->isChecked();
    switch (pressed) {
      case QMessageBox::Cancel: return Answer::kCancel;
      case QMessageBox::Yes: return Answer::kYes;
      case QMessageBox::No: return Answer::kNo;
      default: return Answer::kOk;
    }
  }
};

MessageBoxes* g_installed = nullptr;

}  // namespace

MessageBoxes::Answer MessageBoxes::ShowWithChoice(QWidget* owner, Kind kind,
                                                  const QString& caption, const QString& text,
                                                  Buttons buttons, const QString&, bool*) {
  return Show(owner, kind, caption, text, buttons);
}

MessageBoxes& MessageBoxes::Current() {
  static DialogBoxes dialogs;
  return g_installed != nullptr ? *g_installed : dialogs;
}

void MessageBoxes::Install(MessageBoxes* boxes) { g_installed = boxes; }

}  // namespace frontend
