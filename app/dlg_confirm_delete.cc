#include "app/dlg_confirm_delete.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace songlift {

QString DlgConfirmDelete::SecondLineFor(int count, const QString& name) {
  return count == 1 ? name : QString("these %1 files").arg(count);
}

DlgConfirmDelete::DlgConfirmDelete(int count, const QString& name, const QString& extent,
                                   QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("Delete");
  auto* question = new QLabel("Are you sure you would like to delete", this);
  line_ = new QLabel(SecondLineFor(count, name), this);
  line_->setObjectName("secondLine");
  line_->setTextFormat(Qt::PlainText);
  extent_ = new QLabel(extent, this);
  extent_->setObjectName("extentLine");
  extent_->setVisible(!extent.isEmpty());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  // Enter must not delete: Cancel is the default button.
  buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
  buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(question);
  layout->addWidget(line_);
  layout->addWidget(extent_);
  layout->addWidget(buttons);
}

QString DlgConfirmDelete::secondLine() const { return line_->text(); }

QString DlgConfirmDelete::extentLine() const { return extent_->text(); }

}  // namespace songlift
