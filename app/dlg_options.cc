#include "app/dlg_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "volume/audio_transcoder.h"

namespace songlift {

DlgOptions::DlgOptions(const frontend::Options& current, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Options");
  confirm_ = new QCheckBox("Confirm &Deletes", this);
  busy_ = new QCheckBox("Notify on &Busy Activity", this);
  duplicate_ = new QCheckBox("Notify on Duplicate &Remote Button Assignment", this);
  confirm_->setChecked(current.confirmDelete != 0);
  busy_->setChecked(current.notifyBusy != 0);
  duplicate_->setChecked(current.notifyDuplicate != 0);
  subfolders_ = new QCheckBox("Include &sub-folders", this);
  skip_duplicates_ = new QCheckBox("S&kip songs already on the player", this);
  subfolders_->setChecked(current.includeSubfolders != 0);
  skip_duplicates_->setChecked(current.skipDuplicates != 0);
  bitrate_ = new QComboBox(this);
  for (const uint32_t kbps : jukepak::kConversionBitrates) {
    bitrate_->addItem(QString("%1 kbit/s").arg(kbps), int(kbps));
  }
  const int shown = bitrate_->findData(current.bitrateKbps);
  bitrate_->setCurrentIndex(shown >= 0 ? shown : bitrate_->findData(192));
  auto* conversion = new QFormLayout;
  conversion->addRow("&Bitrate of converted songs:", bitrate_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(confirm_);
  layout->addWidget(busy_);
  layout->addWidget(duplicate_);
  layout->addWidget(subfolders_);
  layout->addWidget(skip_duplicates_);
  layout->addLayout(conversion);
  layout->addWidget(buttons);
}

frontend::Options DlgOptions::options() const {
  frontend::Options o;
  o.confirmDelete = confirm_->isChecked() ? 1 : 0;
  o.notifyBusy = busy_->isChecked() ? 1 : 0;
  o.notifyDuplicate = duplicate_->isChecked() ? 1 : 0;
  o.includeSubfolders = subfolders_->isChecked() ? 1 : 0;
  o.skipDuplicates = skip_duplicates_->isChecked() ? 1 : 0;
  o.bitrateKbps = bitrate_->currentData().toInt();
  return o;
}

}  // namespace songlift
