// DlgCopyProgress: the progress of a sync ("Downloading Songs..."). One
// instance lives for the program's whole run; it is shown when a sync starts
// and hidden when it ends. Cancel asks the running sync to stop after the
// cluster in hand and hides the window.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;

namespace songlift {

class DlgCopyProgress : public QDialog {
  Q_OBJECT
 public:
  // `cancel` is called on the window thread when the user presses Cancel.
  explicit DlgCopyProgress(std::function<void()> cancel, QWidget* parent = nullptr);

  // The progress feed, in the order a sync calls it.
  void beginAll(int pending_cds);
  void beginCd(int tracks);
  void beginTrack(const QString& title, uint32_t clusters);
  void trackPosition(uint32_t cluster_index);
  void endAll();

  QProgressBar* listBar() const { return list_bar_; }
  QProgressBar* songBar() const { return song_bar_; }
  QLabel* songLabel() const { return song_label_; }

 public slots:
  void reject() override;  // Cancel and Esc

 private:
  std::function<void()> cancel_;
  QProgressBar* list_bar_;
  QProgressBar* song_bar_;
  QLabel* song_label_;
  int cds_ = 0;
  int cds_begun_ = 0;
  int tracks_in_cd_ = 0;
  int tracks_begun_ = 0;
};

}  // namespace songlift
