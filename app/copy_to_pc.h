// CopyToPc: the window's "Copy to PC..." and the drag of player items out
// of the window onto a file manager.
//
// Copy to PC asks for a folder (the last one chosen is offered again), then
// copies the highlighted tracks, and every track of each highlighted CD,
// into it as "<CD artist>/<album>/<NN> <title>.mp3" (frontend::CopyTracks):
// a file already there with the same bytes is skipped, another file at the
// name is left as it is and reported, and the copy takes a numbered name.
// The copy runs on the engine's worker as a task (busyState kCopy), so the
// window never reads the player itself; a progress dialog shows the song in
// hand ("Song 2 of 5") and Cancel stops the copy within the cluster in hand,
// leaving no part of the song's file behind. A message tells at the end how
// many songs were copied, skipped or failed, naming the files.
//
// A drag out of the window copies the same way into a folder of its own
// under the user's cache folder, then starts a drag of those files
// (text/uri-list) for the file manager to copy from. Why the files are made
// before the drag starts is told at StartDragOut.
//
// Everything here runs on the window thread except the task's body, which
// talks to the window only through the object's WindowCaller.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "base/result.h"
#include "frontend/backup_run.h"
#include "frontend/window_caller.h"

class QAction;
class QDialog;
class QMimeData;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace songlift {

class CSongliftDlg;
class CopyProgressDialog;

class CopyToPc : public QObject {
  Q_OBJECT
 public:
  // Adds "Copy to PC..." to the player tree's context menu and follows its
  // selection; `window` owns the object.
  explicit CopyToPc(CSongliftDlg* window);
  // A copy still running is cancelled and waited for.
  ~CopyToPc() override;

  // The command, for the window's buttons and menus; enabled while a volume
  // is mounted, no job runs and something on the player is highlighted.
  QAction* action() const { return action_; }
  QPushButton* MakeButton(QWidget* parent);
  void UpdateEnabled();

  // The tracks the highlighted player items stand for, in the tree's order
  // (a CD stands for all its tracks; a track highlighted with its CD counts
  // once).
  std::vector<frontend::TrackChoice> HighlightedTracks() const;

  // "Copy to PC...": asks for the folder, then starts the copy.
  void OnCopyToPc();
  // Starts copying `tracks` into `folder` as a task of the worker; `done`
  // runs on the window thread at its end, after the progress dialog has
  // closed. False when the player is not mounted and idle (nothing starts).
  using Done = std::function<void(const jukepak::Result&, const frontend::CopySummary&)>;
  bool StartCopy(std::vector<frontend::TrackChoice> tracks, const QString& folder, Done done);
  // A press on the player tree, seen before the tree handles it (which may
  // take the highlight off the other items): remembers what a drag from it
  // carries, the highlighted items when it is one of them, else the item.
  void NotePress(QTreeWidgetItem* item);
  // True when a drag from the pressed item leaves the window at once (a CD).
  // A track's drag (with the other highlighted tracks when it is one of
  // them) moves them within the tree and turns into a drag out when it
  // leaves the window.
  bool DragsOutAtOnce() const { return press_drags_out_; }
  // The drag out of the window of what the last press remembered (else of
  // the highlighted items).
  void StartDragOut();
  bool running() const { return running_.load(); }

  // The message Copy to PC ends with.
  static QString SummaryText(const jukepak::Result& result, const frontend::CopySummary& summary,
                             const QString& folder);
  // text/uri-list (and the paths as plain text) of `files` below `folder`.
  static std::unique_ptr<QMimeData> MakeDragData(const QString& folder,
                                                 const std::vector<std::string>& files);
  // Where drags out of the window take their copies (under the cache folder).
  static QString DragFolder();

  // --- for tests ---
  // Replaces the folder dialog: gets the window and the folder offered.
  void setFolderChooser(std::function<QString(QWidget*, const QString&)> chooser) {
    folder_chooser_ = std::move(chooser);
  }
  // Replaces QDrag::exec: gets the drag's data.
  void setDragStarter(std::function<void(std::unique_ptr<QMimeData>)> starter) {
    drag_starter_ = std::move(starter);
  }
  // The progress dialog of the last copy (none before the first).
  QDialog* progress() const;

 private:
  class Observer;
  jukepak::PlayerVolume& volume();
  std::vector<frontend::TrackChoice> TracksOf(
      const std::function<bool(const QTreeWidgetItem*)>& chosen) const;
  void ShowTrack(size_t index, size_t count, const QString& label, uint32_t clusters);
  void ShowPosition(uint32_t clusters_read);
  void Finish(const jukepak::Result& result, const frontend::CopySummary& summary);
  void StartDrag(std::unique_ptr<QMimeData> data, const QString& folder);

  CSongliftDlg* window_;
  QAction* action_;
  CopyProgressDialog* progress_ = nullptr;
  frontend::WindowCaller caller_;
  std::atomic<bool> running_{false};
  Done done_;
  std::vector<frontend::TrackChoice> press_tracks_;
  // The drag folders this window made; another Songlift's stay.
  std::vector<QString> drag_folders_;
  bool press_drags_out_ = false;
  size_t song_ = 0;
  uint32_t song_clusters_ = 0;
  std::function<QString(QWidget*, const QString&)> folder_chooser_;
  std::function<void(std::unique_ptr<QMimeData>)> drag_starter_;
};

}  // namespace songlift
