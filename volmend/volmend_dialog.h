// VolmendDialog: Volmend's one window. A line saying what the tool does, the
// list of report lines, the "Keep an undo file" choice (on at first), "Repair"
// and "Cancel". Both buttons start disabled; the worker enables them once the
// dry run has found something. "Repair" emits repairClicked() and fixes the
// choice; "Cancel" and the window's close command end the dialog with
// result 0.
//
// Window thread only; the worker reaches the slots through queued calls.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace volmend {

inline constexpr char kDialogTitle[] = "Jukepak Integrity Check / Repair";

class VolmendDialog : public QDialog {
  Q_OBJECT

 public:
  explicit VolmendDialog(QWidget* parent = nullptr);

  QListWidget* reportList() const { return list_; }
  QPushButton* repairButton() const { return repair_; }
  QPushButton* cancelButton() const { return cancel_; }
  QCheckBox* keepUndoBox() const { return keep_undo_; }
  // Every line of the report list, in order.
  QStringList lines() const;

 public slots:
  void AddLine(const QString& line);
  void SetTitleLine(const QString& line);
  // `reinitialize`: the only remedy is a fresh volume; "Repair" reads
  // "Reinitialize..." (its question comes before anything is written).
  void EnableButtons(bool reinitialize = false);

 signals:
  void repairClicked();

 private:
  QLabel* explanation_;
  QListWidget* list_;
  QCheckBox* keep_undo_;
  QPushButton* repair_;
  QPushButton* cancel_;
};

}  // namespace volmend
