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
    QString name = QString::fromUtf8(candidate.displayName.c_str());
    // A module that cannot run here is shown, greyed, with the reason, so
    // that a user without the hardware learns why it cannot be chosen.
    if (!candidate.usable()) {
      name += QString(" (not usable: %1)").arg(QString::fromStdString(candidate.unusableReason));
    }
    auto* entry = new QListWidgetItem(name, list_);
    entry->setData(Qt::UserRole, int(candidate_paths_.size()));
    entry->setToolTip(path);  // two modules of one name stay distinguishable
    if (!candidate.usable()) entry->setFlags(entry->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    candidate_paths_ << path;
    if (path == selected_path_ && candidate.usable()) list_->setCurrentItem(entry);
  }
  ok_->setEnabled(list_->currentItem() != nullptr);
  connect(list_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
    ok_->setEnabled(current != nullptr && (current->flags() & Qt::ItemIsEnabled));
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, &DlgDrivers::accept);
}

void DlgDrivers::accept() {
  const QListWidgetItem* entry = list_->currentItem();
  if (entry == nullptr || !(entry->flags() & Qt::ItemIsEnabled)) return;
  selected_path_ = candidate_paths_.at(entry->data(Qt::UserRole).toInt());
  QDialog::accept();
}

}  // namespace songlift
