#include "app/copy_to_pc.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDrag>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QThread>
#include <algorithm>

#include "app/songlift_app.h"
#include "app/list_tree.h"
#include "app/songlift_dlg.h"
#include "app/sync_summary_text.h"
#include "frontend/message_boxes.h"

namespace songlift {

using frontend::CopySummary;
using frontend::MessageBoxes;
using frontend::TrackChoice;
using jukepak::BusyState;
using jukepak::DeviceState;
using jukepak::Result;

namespace {

// Steps of the bar per song, so that a long song moves it too.
constexpr int kSongSteps = 1000;

QString FileList(const std::vector<std::string>& files) {
  QString text;
  for (const std::string& file : files) text += "\n    " + QString::fromStdString(file);
  return text;
}

}  // namespace

// The progress of one copy: the song in hand, a bar and Cancel.
class CopyProgressDialog : public QDialog {
 public:
  CopyProgressDialog(std::function<void()> cancel, QWidget* parent)
      : QDialog(parent), cancel_(std::move(cancel)) {
    setWindowTitle("Copying to PC...");
    label_ = new QLabel(this);
    label_->setTextFormat(Qt::PlainText);
    label_->setMinimumWidth(360);
    bar_ = new QProgressBar(this);
    cancel_button_ = new QPushButton("Cancel", this);
    connect(cancel_button_, &QPushButton::clicked, this, &CopyProgressDialog::reject);
    auto* layout = new QGridLayout(this);
    layout->addWidget(label_, 0, 0);
    layout->addWidget(bar_, 1, 0);
    layout->addWidget(cancel_button_, 2, 0, Qt::AlignRight);
  }
  void Begin() {
    label_->setText("Reading the player...");
    bar_->setRange(0, 1);
    bar_->setValue(0);
    cancel_button_->setEnabled(true);
  }
  void Show(const QString& text, int value, int maximum) {
    label_->setText(text);
    bar_->setRange(0, maximum);
    bar_->setValue(value);
  }
  void SetValue(int value) { bar_->setValue(value); }
  void reject() override {  // Cancel and Esc
    if (!cancel_button_->isEnabled()) return;
    cancel_button_->setEnabled(false);
    label_->setText("Cancelling...");
    cancel_();
  }

 private:
  std::function<void()> cancel_;
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* cancel_button_;
};

// Hands the copy's progress from the worker to the window, without waiting.
class CopyToPc::Observer : public frontend::CopyObserver {
 public:
  Observer(frontend::WindowCaller& caller, CopyToPc* owner) : caller_(caller), owner_(owner) {}
  void BeginCopies(size_t) override {}
  void BeginTrack(size_t index, size_t count, const std::string& label,
                  uint32_t clusters) override {
    CopyToPc* owner = owner_;
    const QString text = QString::fromStdString(label);
    caller_.Post([owner, index, count, text, clusters] {
      owner->ShowTrack(index, count, text, clusters);
    });
  }
  void TrackPosition(uint32_t clusters_read) override {
    CopyToPc* owner = owner_;
    caller_.Post([owner, clusters_read] { owner->ShowPosition(clusters_read); });
  }
  void EndCopies() override {}

 private:
  frontend::WindowCaller& caller_;
  CopyToPc* owner_;
};

CopyToPc::CopyToPc(CSongliftDlg* window) : QObject(window), window_(window) {
  action_ = new QAction("Copy to &PC...", this);
  connect(action_, &QAction::triggered, this, &CopyToPc::OnCopyToPc);
  QTreeWidget* tree = window_->playerTree();
  tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tree, &QWidget::customContextMenuRequested, this, [this, tree](const QPoint& at) {
    QMenu menu(tree);
    menu.addAction(action_);
    menu.exec(tree->viewport()->mapToGlobal(at));
  });
  connect(tree, &QTreeWidget::itemSelectionChanged, this, &CopyToPc::UpdateEnabled);
  UpdateEnabled();
}

CopyToPc::~CopyToPc() {
  if (running_.load()) {
    volume().RequestCancel();
    // The task's last calls into the window are delivered meanwhile.
    while (running_.load()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(2);
    }
  }
  // Drags of this window are over; the file manager has copied what it
  // took. The folders of another Songlift's drags are left alone.
  for (const QString& folder : drag_folders_) QDir(folder).removeRecursively();
}

QDialog* CopyToPc::progress() const { return progress_; }

jukepak::PlayerVolume& CopyToPc::volume() { return window_->app()->volume(); }

QPushButton* CopyToPc::MakeButton(QWidget* parent) {
  auto* button = new QPushButton(action_->text(), parent);
  button->setAutoDefault(false);
  button->setEnabled(action_->isEnabled());
  connect(button, &QPushButton::clicked, action_, &QAction::trigger);
  connect(action_, &QAction::changed, button,
          [this, button] { button->setEnabled(action_->isEnabled()); });
  return button;
}

void CopyToPc::UpdateEnabled() {
  const bool idle = volume().deviceState() == DeviceState::kReady &&
                    volume().busyState() == BusyState::kIdle;
  action_->setEnabled(idle && !window_->playerTree()->selectedItems().isEmpty());
}

std::vector<TrackChoice> CopyToPc::TracksOf(
    const std::function<bool(const QTreeWidgetItem*)>& chosen) const {
  std::vector<TrackChoice> tracks;
  // The directory is the window's while no job runs, and no job runs while
  // the window chooses what to copy.
  const ListTree* list = window_->playerList();
  for (const auto& cd : window_->app()->volume().model().playerCds) {
    const QTreeWidgetItem* cd_item = list->ItemOfCd(cd->id);
    const bool whole_cd = cd_item != nullptr && chosen(cd_item);
    for (uint32_t slot = 0; slot < cd->tracks.size(); ++slot) {
      const QTreeWidgetItem* item = list->ItemOfTrack(cd->tracks[slot]->id);
      if (whole_cd || (item != nullptr && chosen(item))) tracks.push_back(TrackChoice{cd.get(), slot});
    }
  }
  return tracks;
}

std::vector<TrackChoice> CopyToPc::HighlightedTracks() const {
  return TracksOf([](const QTreeWidgetItem* item) { return item->isSelected(); });
}

void CopyToPc::NotePress(QTreeWidgetItem* item) {
  press_tracks_.clear();
  press_drags_out_ = false;
  if (item == nullptr) return;
  const bool among_highlighted = item->isSelected();
  press_tracks_ = among_highlighted
                      ? HighlightedTracks()
                      : TracksOf([item](const QTreeWidgetItem* other) { return other == item; });
  // Highlighted tracks are moved together within the tree first, like a single one.
  press_drags_out_ = item->parent() == nullptr;
}

void CopyToPc::OnCopyToPc() {
  if (HighlightedTracks().empty() || running_.load()) return;
  frontend::SettingsStore& settings = window_->app()->settings();
  QString offered = QString::fromStdString(settings.ReadCopyFolder());
  if (offered.isEmpty() || !QDir(offered).exists()) {
    offered = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  }
  const QString folder =
      folder_chooser_ ? folder_chooser_(window_, offered)
                      : QFileDialog::getExistingDirectory(window_, "Copy to PC", offered);
  if (folder.isEmpty()) return;
  settings.WriteCopyFolder(folder.toStdString());
  // The folder dialog ran the event loop: the highlight is taken again.
  StartCopy(HighlightedTracks(), folder, [this, folder](const Result& result,
                                                        const CopySummary& summary) {
    const bool trouble = !summary.failures.empty() || !summary.changedInFolder.empty() ||
                         (!result.ok() && result.code() != jukepak::ResultCode::kCancelled);
    MessageBoxes::Current().Show(
        window_, trouble ? MessageBoxes::Kind::kWarning : MessageBoxes::Kind::kInformation,
        "Copy to PC", SummaryText(result, summary, folder), MessageBoxes::Buttons::kOk);
  });
}

bool CopyToPc::StartCopy(std::vector<TrackChoice> tracks, const QString& folder, Done done) {
  jukepak::PlayerVolume& volume = this->volume();
  if (tracks.empty() || running_.load() || volume.deviceState() != DeviceState::kReady ||
      volume.busyState() != BusyState::kIdle) {
    return false;
  }
  if (progress_ == nullptr) {
    progress_ = new CopyProgressDialog([this] { this->volume().RequestCancel(); }, window_);
  }
  done_ = std::move(done);
  running_.store(true);
  volume.SetBusyState(BusyState::kCopy);
  progress_->Begin();
  progress_->show();
  const bool queued = volume.SignalTask([this, &volume, tracks = std::move(tracks), folder] {
    Observer observer(caller_, this);
    CopySummary summary;
    const Result result = frontend::CopyTracks(volume, tracks, folder, observer, &summary);
    caller_.Post([this, result, summary] { Finish(result, summary); });
    running_.store(false);  // from here on the window may go: nothing of it is touched
    // The engine sets the busy state back to idle once the task returns.
  });
  if (!queued) {
    running_.store(false);
    volume.SetBusyState(BusyState::kIdle);
    progress_->hide();
    done_ = nullptr;
  }
  return queued;
}

void CopyToPc::ShowTrack(size_t index, size_t count, const QString& label, uint32_t clusters) {
  song_ = index;
  song_clusters_ = clusters;
  const QString text = QString("Song %1 of %2\n%3").arg(index + 1).arg(count).arg(label);
  progress_->Show(text, int(index) * kSongSteps, int(std::max<size_t>(count, 1)) * kSongSteps);
}

void CopyToPc::ShowPosition(uint32_t clusters_read) {
  const uint32_t within = song_clusters_ == 0 ? 0 : std::min(clusters_read, song_clusters_);
  const int step = song_clusters_ == 0 ? 0 : int(uint64_t(within) * kSongSteps / song_clusters_);
  progress_->SetValue(int(song_) * kSongSteps + step);
}

void CopyToPc::Finish(const Result& result, const CopySummary& summary) {
  progress_->hide();
  Done done = std::move(done_);
  done_ = nullptr;
  UpdateEnabled();
  // Run from the event loop itself, not from inside the hand-off of the
  // worker's calls: `done` may open a message box or a drag.
  QTimer::singleShot(0, this, [done, result, summary] {
    if (done) done(result, summary);
  });
}

QString CopyToPc::SummaryText(const Result& result, const CopySummary& summary,
                              const QString& folder) {
  QStringList parts;
  parts << QString("Copied %1 to %2.").arg(SongCount(summary.written.size()), folder);
  if (summary.unchanged > 0) {
    parts << QString("Skipped %1 already there with the same content.")
                 .arg(SongCount(summary.unchanged));
  }
  if (!summary.changedInFolder.empty()) {
    parts << QString("%1 in the folder differ from the player's songs and were left as they "
                     "are; the copies took numbered names:%2")
                 .arg(summary.changedInFolder.size() == 1
                          ? QString("1 file")
                          : QString("%1 files").arg(summary.changedInFolder.size()),
                      FileList(summary.changedInFolder));
  }
  if (!summary.failures.empty()) {
    QString list;
    for (const frontend::TrackFailure& failure : summary.failures) {
      list += QString("\n    %1 (%2): %3")
                  .arg(QString::fromStdString(failure.file), QString::fromStdString(failure.track),
                       QString::fromStdString(failure.error));
    }
    parts << QString("%1 could not be copied:%2").arg(SongCount(summary.failures.size()), list);
  }
  const size_t done = summary.written.size() + summary.unchanged + summary.failures.size();
  if (summary.cancelled) {
    parts << QString("The copy was cancelled; %1 not copied.")
                 .arg(SongCount(summary.tracks > done ? summary.tracks - done : 0));
  } else if (!result.ok() && summary.failures.empty()) {
    parts << QString("The copy failed: %1").arg(QString::fromStdString(result.message()));
  }
  return parts.join("\n\n");
}

QString CopyToPc::DragFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/drag-out";
}

std::unique_ptr<QMimeData> CopyToPc::MakeDragData(const QString& folder,
                                                  const std::vector<std::string>& files) {
  QList<QUrl> urls;
  QStringList paths;
  for (const std::string& file : files) {
    const QString path = QDir(folder).filePath(QString::fromStdString(file));
    urls << QUrl::fromLocalFile(path);
    paths << path;
  }
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);  // text/uri-list
  data->setText(paths.join("\n"));
  return data;
}

// The drag carries finished files. A drag whose data is produced only when
// the drop target asks for it (QMimeData::retrieveData) would have to read
// the player on the window thread, inside the drag's own event loop, while
// the target waits: a copy over the parallel port takes minutes, the drag
// protocols give up after seconds, and the player may only be read by the
// worker. So the songs are copied first, as Copy to PC does, into a folder
// of this drag's own under the cache folder (removed when the window goes),
// and the drag of those files starts when the copy ends. A drag that no
// target takes (or that the platform does not start, the button having been
// let go meanwhile) leaves the copies there, and the status line names the
// folder.
void CopyToPc::StartDragOut() {
  std::vector<TrackChoice> tracks = std::move(press_tracks_);
  press_tracks_.clear();
  // What the press found is taken only while the player still holds it.
  const auto& cds = volume().model().playerCds;
  const bool still_there = std::all_of(tracks.begin(), tracks.end(), [&](const TrackChoice& t) {
    return std::any_of(cds.begin(), cds.end(), [&](const auto& cd) {
      return cd.get() == t.cd && t.slot < cd->tracks.size();
    });
  });
  if (tracks.empty() || !still_there) tracks = HighlightedTracks();
  if (tracks.empty() || running_.load()) return;
  if (!QDir().mkpath(DragFolder())) return;
  QTemporaryDir made(DragFolder() + "/drag-XXXXXX");
  if (!made.isValid()) return;
  made.setAutoRemove(false);
  const QString folder = made.path();
  drag_folders_.push_back(folder);
  StartCopy(std::move(tracks), folder, [this, folder](const Result& result,
                                                      const CopySummary& summary) {
    if (!result.ok() || summary.written.empty()) {
      if (!summary.cancelled) {
        MessageBoxes::Current().Show(window_, MessageBoxes::Kind::kWarning, "Copy to PC",
                                     SummaryText(result, summary, folder),
                                     MessageBoxes::Buttons::kOk);
      }
      QDir(folder).removeRecursively();
      return;
    }
    StartDrag(MakeDragData(folder, summary.written), folder);
  });
}

void CopyToPc::StartDrag(std::unique_ptr<QMimeData> data, const QString& folder) {
  if (drag_starter_) {
    drag_starter_(std::move(data));
    return;
  }
  auto* drag = new QDrag(window_->playerTree());
  drag->setMimeData(data.release());
  if (drag->exec(Qt::CopyAction, Qt::CopyAction) == Qt::IgnoreAction) {
    window_->ShowStatus("The dragged songs were not dropped; their copies are in " + folder);
  }
}

}  // namespace songlift
