#include "volmend/checker_prompts.h"

#include <QMessageBox>

namespace volmend {

void MessageBoxPrompts::Notice(QWidget* owner, const QString& text, const QString& caption) {
  QMessageBox::information(owner, caption, text);
}

bool MessageBoxPrompts::AskYesNo(QWidget* owner, const QString& text, const QString& caption) {
  return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace volmend
