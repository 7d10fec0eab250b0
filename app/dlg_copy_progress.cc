#include "app/dlg_copy_progress.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace songlift {

DlgCopyProgress::DlgCopyProgress(std::function<void()> cancel, QWidget* parent)
    : QDialog(parent), cancel_(std::move(cancel)) {
  setWindowTitle("Downloading Songs...");
  setModal(false);
  list_bar_ = new QProgressBar(this);
  song_bar_ = new QProgressBar(this);
  song_label_ = new QLabel("Song", this);
  song_label_->setTextFormat(Qt::PlainText);
  auto* cancel_button = new QPushButton("Cancel", this);
  connect(cancel_button, &QPushButton::clicked, this, &DlgCopyProgress::reject);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("List", this), 0, 0);
  layout->addWidget(list_bar_, 0, 1);
  layout->addWidget(song_label_, 1, 0);
  layout->addWidget(song_bar_, 1, 1);
  layout->addWidget(cancel_button, 2, 1, Qt::AlignRight);
  layout->setColumnStretch(1, 1);
  resize(420, sizeHint().height());
}

void DlgCopyProgress::beginAll(int pending_cds) {
  cds_ = pending_cds;
  cds_begun_ = 0;
  list_bar_->setRange(0, 100 * pending_cds);
  list_bar_->setValue(0);
}

void DlgCopyProgress::beginCd(int tracks) {
  list_bar_->setValue(100 * cds_begun_);
  ++cds_begun_;
  tracks_in_cd_ = tracks;
  tracks_begun_ = 0;
}

void DlgCopyProgress::beginTrack(const QString& title, uint32_t clusters) {
  song_label_->setText(title);
  // QProgressBar ranges are ints: tracks of more clusters than that are scaled.
  song_bar_->setRange(0, int(std::min<uint32_t>(clusters, 0x7FFFFFFF)));
  song_bar_->setValue(0);
  const int before = 100 * (cds_begun_ - 1);
  const int within = tracks_in_cd_ > 0 ? 100 * tracks_begun_ / tracks_in_cd_ : 0;
  list_bar_->setValue(before + within);
  ++tracks_begun_;
}

void DlgCopyProgress::trackPosition(uint32_t cluster_index) {
  song_bar_->setValue(int(std::min<uint32_t>(cluster_index, 0x7FFFFFFF)));
}

void DlgCopyProgress::endAll() { hide(); }

void DlgCopyProgress::reject() {
  if (cancel_) cancel_();
  hide();
}

}  // namespace songlift
