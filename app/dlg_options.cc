#include "app/dlg_options.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace songlift {

DlgOptions::DlgOptions(const frontend::Options& current, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Options");
  confirm_ = new QCheckBox("Confirm &Deletes", this);
  busy_ = new QCheckBox("Notify on &Busy Activity", this);
  duplicate_ = new QCheckBox("Notify on Duplicate &Remote Button Assignment", this);
  confirm_->setChecked(current.confirmDelete != 0);
  busy_->setChecked(current.notifyBusy != 0);
  duplicate_->setChecked(current.notifyDuplicate != 0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(confirm_);
  layout->addWidget(busy_);
  layout->addWidget(duplicate_);
  layout->addWidget(buttons);
}

frontend::Options DlgOptions::options() const {
  frontend::Options o;
  o.confirmDelete = confirm_->isChecked() ? 1 : 0;
  o.notifyBusy = busy_->isChecked() ? 1 : 0;
  o.notifyDuplicate = duplicate_->isChecked() ? 1 : 0;
  return o;
}

}  // namespace songlift
