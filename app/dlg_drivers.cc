#include "app/dlg_drivers.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace songlift {

DlgDrivers::DlgDrivers(const QString& selected_path,
                       std::vector<jukepak::DriverCandidate> candidates, QWidget* parent)
    : QDialog(parent), selected_path_(selected_path) {
  setWindowTitle("Select a Hardware Driver");
  list_ = new QListWidget(this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &DlgDrivers::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);

  for (const jukepak::DriverCandidate& candidate : candidates) {
    const QString path = QString::fromStdString(candidate.path);
    auto* entry = new QListWidgetItem(QString::fromUtf8(candidate.displayName.c_str()), list_);
    entry->setData(Qt::UserRole, int(candidate_paths_.size()));
    entry->setToolTip(path);  // two modules of one name stay distinguishable
    candidate_paths_ << path;
    if (path == selected_path_) list_->setCurrentItem(entry);
  }
  ok_->setEnabled(list_->currentItem() != nullptr);
  connect(list_, &QListWidget::currentItemChanged, this,
          [this](QListWidgetItem* current) { ok_->setEnabled(current != nullptr); });
  connect(list_, &QListWidget::itemDoubleClicked, this, &DlgDrivers::accept);
}

void DlgDrivers::accept() {
  const QListWidgetItem* entry = list_->currentItem();
  if (entry == nullptr) return;
  selected_path_ = candidate_paths_.at(entry->data(Qt::UserRole).toInt());
  QDialog::accept();
}

}  // namespace songlift
