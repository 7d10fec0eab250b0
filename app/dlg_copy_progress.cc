#include "app/dlg_copy_progress.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace songlift {
namespace {

// QProgressBar ranges are ints: bigger counts are cut (more clusters than a
// track can have, more CDs than anyone syncs).
int BarValue(uint64_t value) { return int(std::min<uint64_t>(value, 0x7FFFFFFF)); }

}  // namespace

DlgCopyProgress::DlgCopyProgress(std::function<void()> cancel, QWidget* parent)
    : QDialog(parent), cancel_(std::move(cancel)) {
  setWindowTitle("Downloading Songs...");
  setModal(false);
  list_bar_ = new QProgressBar(this);
  song_bar_ = new QProgressBar(this);
  song_label_ = new QLabel("Song", this);
  song_label_->setTextFormat(Qt::PlainText);
  count_label_ = new QLabel(this);
  rate_label_ = new QLabel(this);
  count_label_->setObjectName("songCount");
  rate_label_->setObjectName("rate");
  auto* cancel_button = new QPushButton("Cancel", this);
  connect(cancel_button, &QPushButton::clicked, this, &DlgCopyProgress::reject);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel("List", this), 0, 0);
  layout->addWidget(list_bar_, 0, 1);
  layout->addWidget(song_label_, 1, 0);
  layout->addWidget(song_bar_, 1, 1);
  layout->addWidget(count_label_, 2, 0);
  layout->addWidget(rate_label_, 2, 1);
  layout->addWidget(cancel_button, 3, 1, Qt::AlignRight);
  layout->setColumnStretch(1, 1);
  resize(420, sizeHint().height());
}

void DlgCopyProgress::Start() {
  list_bar_->setRange(0, 100);
  list_bar_->setValue(0);
  song_bar_->setRange(0, 1);
  song_bar_->setValue(0);
  song_label_->setText("Song");
  count_label_->clear();
  rate_label_->clear();
  clock_.start();
}

void DlgCopyProgress::ShowProgress(const jukepak::SyncProgress& p) {
  // 100 units a CD; within one, as far as its songs have begun.
  list_bar_->setRange(0, BarValue(100 * uint64_t(std::max(p.cds, 1))));
  const int within = p.tracks > 0 ? 100 * std::max(p.track - 1, 0) / p.tracks : 0;
  list_bar_->setValue(BarValue(100 * uint64_t(std::max(p.cd - 1, 0)) + uint64_t(within)));
  song_label_->setText(QString::fromStdString(p.title));
  song_bar_->setRange(0, BarValue(std::max<uint32_t>(p.clusters, 1)));
  song_bar_->setValue(BarValue(p.cluster));
  count_label_->setText(SongCountText(p.song, p.songs));
  if (!clock_.isValid()) clock_.start();
  rate_label_->setText(RateText(p.bytesWritten, p.bytesTotal, clock_.elapsed() / 1000.0));
}

QString DlgCopyProgress::SongCountText(int song, int songs) {
  return QString("Song %1 of %2").arg(song).arg(songs);
}

QString DlgCopyProgress::RateText(uint64_t written, uint64_t total, double seconds) {
  if (written == 0 || seconds <= 0) return QString();
  const double bytes_per_second = double(written) / seconds;
  const double left = double(total > written ? total - written : 0) / bytes_per_second;
  const long long whole = std::llround(left);
  return QString("%1 MB/s, %2:%3 left")
      .arg(bytes_per_second / 1e6, 0, 'f', 1)
      .arg(whole / 60)
      .arg(whole % 60, 2, 10, QChar('0'));
}

void DlgCopyProgress::reject() {
  if (cancel_) cancel_();
  hide();
}

}  // namespace songlift
