// DlgCopyProgress: the progress of a sync ("Downloading Songs..."). One
// instance lives for the program's whole run; it is shown when a sync starts
// and hidden when it ends. It shows the list of pending CDs and the song in
// hand as bars, which song of how many is being written, the rate and the
// time left. Cancel asks the running sync to stop after the cluster in hand
// and hides the window.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>

#include "volume/job_report.h"

class QLabel;
class QProgressBar;

namespace songlift {

class DlgCopyProgress : public QDialog {
  Q_OBJECT
 public:
  // `cancel` is called on the window thread when the user presses Cancel.
  explicit DlgCopyProgress(std::function<void()> cancel, QWidget* parent = nullptr);

  // A sync starts: the bars go back to nought and the clock starts.
  void Start();
  // Where the sync stands (the engine's progress event).
  void ShowProgress(const jukepak::SyncProgress& progress);

  // "Song 3 of 12".
  static QString SongCountText(int song, int songs);
  // "1.4 MB/s, 0:42 left" from the bytes written of `total` in `seconds`;
  // "" until there is a rate to tell.
  static QString RateText(uint64_t written, uint64_t total, double seconds);

  QProgressBar* listBar() const { return list_bar_; }
  QProgressBar* songBar() const { return song_bar_; }
  QLabel* songLabel() const { return song_label_; }
  QLabel* countLabel() const { return count_label_; }
  QLabel* rateLabel() const { return rate_label_; }

 public slots:
  void reject() override;  // Cancel and Esc

 private:
  std::function<void()> cancel_;
  QProgressBar* list_bar_;
  QProgressBar* song_bar_;
  QLabel* song_label_;
  QLabel* count_label_;
  QLabel* rate_label_;
  QElapsedTimer clock_;
};

}  // namespace songlift
