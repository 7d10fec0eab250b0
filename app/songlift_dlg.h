// CSongliftDlg: Songlift's main window. The pending additions on the left,
// the player's CDs and tracks on the right, the commands between them in
// three groups, the download size, the free space and the status line below.
//
// It owns the rule that switches the commands with the engine's deviceState
// and busyState, starts the jobs, refuses player edits while the player is
// busy ("Player Busy") and refreshes the size labels every 500 ms. The trees
// are the window's own (ListTree): the engine sends value snapshots of its
// lists through the WindowReporter, and the window shows the newest. The
// states the window goes by are the ones the engine's events have brought,
// so a job counts as running until its last event has been shown.
// Everything here runs on the window thread.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/volume_reporter.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace songlift {

class CopyToPc;
class DlgCopyProgress;
class ListTree;
class VolumeRepair;
class SongliftApp;

class CSongliftDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CSongliftDlg(SongliftApp* app, QWidget* parent = nullptr);
  ~CSongliftDlg() override;

  // --- states and commands ---
  // Set the engine's states (which the events bring back to the window).
  void SetDeviceState(jukepak::DeviceState state);
  void SetBusyState(jukepak::BusyState state);
  // The states as the window knows them from the engine's events.
  jukepak::DeviceState shownDeviceState() const { return shown_device_; }
  jukepak::BusyState shownBusyState() const { return shown_busy_; }
  // Enables and disables the commands for the states shown.
  void UpdateControls();
  // True when the player is ready, idle and its directory may be written;
  // otherwise shows `message` under "Player Busy" when the NotifyBusy option
  // is on (or, over a read-only directory, why it is read-only), and returns
  // false.
  bool IsPlayerIdle(const QString& message);
  // True when the player's disk may be written. A read-only image is told
  // about; a disk that holds something else (a file system, a partition
  // table) is asked about a second time, default No (ObtainWriteConsent).
  bool DiskWritable();
  // Looks at the player's header and starts the mount when it is valid;
  // otherwise the status line says how to make a volume.
  void RequestMount();
  // A module that could not be bound: the status line and a box name it,
  // give bindError()'s reason and say what to do next.
  void ReportBindFailure(const QString& module);
  // The "Download Size:" and "Free Space:" values; rewritten when they change.
  void RefreshSizeLabels();
  // Sends the next job's writes (an initialization's, a repair's) through a
  // new undo file; false (and why, in a box) when the undo folder cannot be
  // made.
  bool ArmUndoFile(const QString& operation);
  // Ends the undo file of an operation that has ended (its digest) and
  // returns the line that names it; empty when none was kept.
  QString FinishUndoFile();

  // --- the engine's events, on the window thread (WindowReporter) ---
  void ShowStatus(const QString& text);
  void OnDeviceState(jukepak::DeviceState state);
  void OnBusyState(jukepak::BusyState state);
  void ShowDirectory(const jukepak::DirectorySnapshot& directory);
  void ShowPending(const jukepak::PendingSnapshot& pending);
  void ShowProgress(const jukepak::SyncProgress& progress);
  // A sync's end: its summary goes into the log and into the Sync Summary
  // box, which does not wait for an answer.
  void ShowJobEnd(const jukepak::JobSummary& summary);
  DlgCopyProgress* copyProgress();

  // --- the commands, as the buttons run them ---
  void OnImport();
  void OnDelete();
  void OnSync();
  void OnIntegrityCheck();
  void OnInitialize();
  void OnDriver();
  void OnLearnRemote();
  void OnOptions();
  void OnAbout();
  // Runs the checker's repair over the mounted volume, then mounts it again.
  void StartRepair();
  // Files, folders and playlists dropped on the window, in the order given
  // (sub-folders as the options say).
  void DropPaths(const QStringList& paths);

  // --- edits of the trees: only highlighted (selected) items are edited;
  // the current item alone (after Tab, or a click on an expand arrow) is not
  // the user's choice ---
  // The highlighted items in tree order; a track whose CD is highlighted
  // too is left out, as it goes with its CD.
  static QList<QTreeWidgetItem*> HighlightedItems(QTreeWidget* tree);
  // The one highlighted item (what rename acts on), or nullptr.
  static QTreeWidgetItem* SingleHighlighted(QTreeWidget* tree);
  // Delete, the key and the button: the highlighted items of `tree`, after
  // one confirmation when the option asks for it.
  void DeleteHighlighted(QTreeWidget* tree);
  void DeletePlayerItem(QTreeWidgetItem* item, bool confirm);
  void DeletePlayerItems(const QList<QTreeWidgetItem*>& items, bool confirm);
  void RenamePlayerItem(QTreeWidgetItem* item);
  void DeleteProposedItem(QTreeWidgetItem* item, bool confirm);
  void DeleteProposedItems(const QList<QTreeWidgetItem*>& items, bool confirm);
  void RenameProposedItem(QTreeWidgetItem* item);

  // --- moving a track by drag and drop within one tree ---
  // Starts a drag of `item` (tracks only; a CD is not moved).
  void BeginTrackDrag(QTreeWidget* tree, QTreeWidgetItem* item);
  // The pointer moved to `global` (screen coordinates) during a drag.
  void MoveTrackDrag(const QPoint& global);
  // The button was released at `global`: drops the track there.
  void DropTrackDrag(const QPoint& global);
  bool dragging() const { return drag_tree_ != nullptr; }
  QTreeWidgetItem* dropHighlight() const { return drop_highlight_; }

  // --- for tests ---
  // Replaces the Import dialog's file chooser.
  void setImportChooser(std::function<QStringList(QWidget*)> chooser) {
    import_chooser_ = std::move(chooser);
  }
  QTreeWidget* pendingTree() const { return pending_tree_; }
  QTreeWidget* playerTree() const { return player_tree_; }
  QLineEdit* pendingFilter() const { return pending_filter_; }
  QLineEdit* playerFilter() const { return player_filter_; }
  QPushButton* importButton() const { return import_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* syncButton() const { return sync_; }
  QPushButton* checkButton() const { return check_; }
  QPushButton* initializeButton() const { return initialize_; }
  QPushButton* driverButton() const { return driver_; }
  QPushButton* learnRemoteButton() const { return learn_remote_; }
  QPushButton* optionsButton() const { return options_; }
  QLabel* downloadSizeLabel() const { return download_size_; }
  QLabel* freeSpaceLabel() const { return free_space_; }
  QLabel* statusLabel() const { return status_; }
  // The log under the trees, and the last sync's summary (none before).
  QPlainTextEdit* log() const { return log_; }
  QMessageBox* syncSummary() const { return sync_summary_; }
  QTreeWidget* focusTree() const { return focus_tree_; }
  SongliftApp* app() const { return app_; }
  CopyToPc* copyToPc() const { return copy_to_pc_; }
  // The window's own copies of the two lists.
  ListTree* playerList() const { return player_list_; }
  ListTree* pendingList() const { return pending_list_; }
  // True while a job or a repair runs, as far as the window has been told.
  bool working() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  // The filter box over `tree`.
  QLineEdit* FilterBox(QTreeWidget* tree);
  jukepak::PlayerVolume& volume();
  // The engine's player CD an item (a CD or one of its tracks) shows, and the
  // slot of a track's item in `cd`; nullptr and -1 when the directory no
  // longer has them.
  jukepak::CdNode* FindPlayerCd(QTreeWidgetItem* item);
  int PlayerTrackSlot(jukepak::CdNode* cd, QTreeWidgetItem* item) const;
  void OnTreeKey(QTreeWidget* tree, int key);
  void OnTreeDoubleClick(QTreeWidget* tree);
  // True while pending edits are allowed; otherwise the "Player Busy" notice
  // (when NotifyBusy is on) and false.
  bool IsPendingEditable();
  // The delete confirmation for `items`, saying where they go from and how
  // many tracks (songs) go with them; true for OK.
  bool ConfirmDelete(const QList<QTreeWidgetItem*>& items, const char* from, const char* one,
                     const char* many);
  // The Delete button is on while the tree last focused has highlighted items.
  void UpdateDeleteButton();
  // Initialize's question: what it erases (the player's CDs and tracks).
  QString InitializeQuestion();

  // Shows in one message every file of a drop or an import that was not
  // added, each with its reason.
  void ShowAddFailures(const std::vector<jukepak::AddFailure>& failures);
  // Adds each line of `text` to the log, but not a line that repeats the last.
  void AppendLog(const QString& text);
  // Shows a failed edit's reason.
  void ReportEditFailure(const jukepak::Result& result);
  void SetDropHighlight(QTreeWidgetItem* item);
  void RepairFinished(int outcome, const QStringList& lines);
  // The drop of a pending track onto `hit` (a track or a CD of the pending
  // tree); false when refused.
  bool DropPendingTrack(QTreeWidgetItem* dragged, QTreeWidgetItem* hit);
  // The drop of one track of `tree` onto `hit`, as a single drag makes it;
  // false when nothing could be moved.
  bool DropTrack(QTreeWidget* tree, QTreeWidgetItem* dragged, QTreeWidgetItem* hit);
  // Moves the track of `node` right after the track of `previous`.
  bool PlaceTrackAfter(QTreeWidget* tree, uint64_t node, uint64_t previous);
  // The id of the entry an item shows, and the item of `tree` that shows `id`.
  static uint64_t IdOf(const QTreeWidgetItem* item);
  QTreeWidgetItem* ItemOfNode(QTreeWidget* tree, uint64_t id) const;
  void EndTrackDrag();
  bool HandleTreeMouse(QTreeWidget* tree, QEvent* event);

  SongliftApp* app_;
  QTreeWidget* pending_tree_ = nullptr;
  QTreeWidget* player_tree_ = nullptr;
  QLineEdit* pending_filter_ = nullptr;
  QLineEdit* player_filter_ = nullptr;
  ListTree* pending_list_ = nullptr;
  ListTree* player_list_ = nullptr;
  jukepak::DeviceState shown_device_;
  jukepak::BusyState shown_busy_;
  uint32_t free_kilobytes_ = 0;
  uint32_t download_kilobytes_ = 0;
  // Close was asked for while a job ran: the window closes when it has ended.
  bool close_when_idle_ = false;
  QPushButton* import_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* sync_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* initialize_ = nullptr;
  QPushButton* driver_ = nullptr;
  QPushButton* learn_remote_ = nullptr;
  QPushButton* options_ = nullptr;
  QLabel* download_size_ = nullptr;
  QLabel* free_space_ = nullptr;
  QLabel* status_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QString last_log_line_;
  QMessageBox* sync_summary_ = nullptr;
  QTimer* size_timer_ = nullptr;
  DlgCopyProgress* copy_progress_ = nullptr;
  CopyToPc* copy_to_pc_ = nullptr;  // "Copy to PC..." and drags out of the window
  VolumeRepair* repair_ = nullptr;
  QTreeWidget* focus_tree_ = nullptr;
  // The drag of a track: the tree it started in, the item, the image that
  // follows the pointer, the item under it, and where a press may start one.
  QTreeWidget* drag_tree_ = nullptr;
  QTreeWidgetItem* drag_item_ = nullptr;
  std::vector<uint64_t> drag_nodes_;  // the dragged tracks' ids, in tree order
  QLabel* drag_image_ = nullptr;
  QTreeWidgetItem* drop_highlight_ = nullptr;
  QTreeWidgetItem* press_item_ = nullptr;
  QPoint press_pos_;
  bool started_ = false;
  jukepak::SizeLabels size_labels_;
  std::function<QStringList(QWidget*)> import_chooser_;
};

}  // namespace songlift
