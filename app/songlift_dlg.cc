#include "app/songlift_dlg.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/copy_to_pc.h"
#include "app/dlg_copy_progress.h"
#include "app/dlg_drivers.h"
#include "app/dlg_import.h"
#include "app/dlg_ir.h"
#include "app/dlg_options.h"
#include "app/list_tree.h"
#include "app/songlift_app.h"
#include "app/sync_summary_text.h"
#include "app/tree_filter.h"
#include "app/undo_switch_device.h"
#include "app/volume_repair.h"
#include "driver/image_write_consent.h"
#include "frontend/message_boxes.h"
#include "frontend/undo_choice.h"
#include "volume/duplicate_songs.h"
#include "volume/integrity_check.h"
#include "volume/pending_list.h"

namespace songlift {

using frontend::MessageBoxes;
using jukepak::BusyState;
using jukepak::DeviceState;
using jukepak::Job;

namespace {

constexpr char kChooseDriverStatus[] = "No driver chosen: choose the player's module with Driver";
constexpr char kNoDriverStatus[] =
    "No driver: connect the player and choose its module again with Driver";
constexpr char kNoVolumeStatus[] =
    "No player volume found: Initialize File System creates one; Volmend can check it";

QPushButton* Button(const char* text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);  // Enter must not press a button of the main window
  return button;
}

}  // namespace

CSongliftDlg::CSongliftDlg(SongliftApp* app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      shown_device_(app->volume().deviceState()),
      shown_busy_(app->volume().busyState()) {
  setWindowTitle("Songlift");
  setWindowIcon(SongliftIcon());
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  BuildLayout();
  size_timer_ = new QTimer(this);
  size_timer_->setInterval(500);
  connect(size_timer_, &QTimer::timeout, this, &CSongliftDlg::RefreshSizeLabels);
  setAcceptDrops(true);
  // A job that wrote through an undo file has ended: its file is complete.
  connect(&app_->reporter(), &WindowReporter::busyStateChanged, this, [this](int state) {
    if (state != int(BusyState::kIdle)) return;
    const QString undo_line = FinishUndoFile();
    if (!undo_line.isEmpty()) ShowStatus(status_->text() + "; " + undo_line);
  });
  UpdateControls();
}

CSongliftDlg::~CSongliftDlg() = default;

jukepak::PlayerVolume& CSongliftDlg::volume() { return app_->volume(); }

void CSongliftDlg::BuildLayout() {
  pending_tree_ = new QTreeWidget(this);
  player_tree_ = new QTreeWidget(this);
  for (QTreeWidget* tree : {pending_tree_, player_tree_}) {
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setExpandsOnDoubleClick(false);
    tree->setMinimumSize(220, 260);
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &CSongliftDlg::UpdateDeleteButton);
    connect(tree, &QTreeWidget::itemDoubleClicked, this,
            [this, tree] { OnTreeDoubleClick(tree); });
  }
  pending_tree_->setObjectName("pendingTree");
  player_tree_->setObjectName("playerTree");
  pending_list_ = new ListTree(pending_tree_);
  player_list_ = new ListTree(player_tree_);
  // The player tree shows no selection while another control has the focus.
  QPalette palette = player_tree_->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Base));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, palette.color(QPalette::Text));
  player_tree_->setPalette(palette);

  import_ = Button("<< &Import", this);
  delete_ = Button("Delete", this);
  sync_ = Button("&Sync >>", this);
  check_ = Button("Inte&grity Check", this);
  initialize_ = Button("Initialize &File System", this);
  driver_ = Button("&Driver", this);
  options_ = Button("&Options", this);
  learn_remote_ = Button("&Learn Remote", this);
  delete_->setEnabled(false);
  connect(import_, &QPushButton::clicked, this, &CSongliftDlg::OnImport);
  connect(delete_, &QPushButton::clicked, this, &CSongliftDlg::OnDelete);
  connect(sync_, &QPushButton::clicked, this, &CSongliftDlg::OnSync);
  connect(check_, &QPushButton::clicked, this, &CSongliftDlg::OnIntegrityCheck);
  connect(initialize_, &QPushButton::clicked, this, &CSongliftDlg::OnInitialize);
  connect(driver_, &QPushButton::clicked, this, &CSongliftDlg::OnDriver);
  connect(options_, &QPushButton::clicked, this, &CSongliftDlg::OnOptions);
  connect(learn_remote_, &QPushButton::clicked, this, &CSongliftDlg::OnLearnRemote);

  auto group = [this](const char* title, std::initializer_list<QPushButton*> buttons) {
    auto* box = new QGroupBox(title, this);
    auto* column = new QVBoxLayout(box);
    for (QPushButton* button : buttons) column->addWidget(button);
    return box;
  };
  auto* middle = new QVBoxLayout;
  middle->addWidget(group("List Editing", {import_, delete_}));
  copy_to_pc_ = new CopyToPc(this);
  middle->addWidget(
      group("Player Functions", {sync_, check_, initialize_, copy_to_pc_->MakeButton(this)}));
  middle->addWidget(group("Misc.", {driver_, options_, learn_remote_}));
  middle->addStretch(1);

  // A filter box over each tree; items the engine adds later are filtered too.
  pending_filter_ = FilterBox(pending_tree_);
  player_filter_ = FilterBox(player_tree_);
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel("Pending Additions", this));
  left->addWidget(pending_filter_);
  left->addWidget(pending_tree_, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel("Player List", this));
  right->addWidget(player_filter_);
  right->addWidget(player_tree_, 1);

  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 1);
  columns->addLayout(middle, 0);
  columns->addLayout(right, 1);

  download_size_ = new QLabel("0", this);
  free_space_ = new QLabel("0", this);
  // Everything the status line says, and each sync's end, stays here to be
  // read again: the status line shows only the latest.
  log_ = new QPlainTextEdit(this);
  log_->setObjectName("log");
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(2000);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_->setFixedHeight(log_->fontMetrics().lineSpacing() * 6 + 12);

  status_ = new QLabel("Status", this);
  status_->setFrameShape(QFrame::Panel);
  status_->setFrameShadow(QFrame::Sunken);
  status_->setTextFormat(Qt::PlainText);
  auto* sizes = new QHBoxLayout;
  sizes->addWidget(new QLabel("Download Size:", this));
  sizes->addWidget(download_size_);
  sizes->addStretch(1);
  sizes->addWidget(new QLabel("Free Space:", this));
  sizes->addWidget(free_space_);

  auto* layout = new QVBoxLayout(this);
  auto* menu_bar = new QMenuBar(this);
  QMenu* help = menu_bar->addMenu("&Help");
  help->addAction("&About Songlift", this, &CSongliftDlg::OnAbout);
  layout->setMenuBar(menu_bar);
  layout->addLayout(columns, 1);
  layout->addWidget(log_);
  layout->addLayout(sizes);
  layout->addWidget(status_);
  resize(760, 520);
}

QLineEdit* CSongliftDlg::FilterBox(QTreeWidget* tree) {
  auto* box = new QLineEdit(this);
  box->setPlaceholderText("Filter: part of an artist, album or title");
  box->setClearButtonEnabled(true);
  box->setObjectName(tree->objectName() + "Filter");
  connect(box, &QLineEdit::textChanged, this, [tree](const QString& text) { FilterTree(tree, text); });
  // New and relabelled items follow the filter once the engine's changes are in.
  auto* refilter = new QTimer(this);
  refilter->setSingleShot(true);
  refilter->setInterval(0);
  connect(refilter, &QTimer::timeout, this, [tree, box] { FilterTree(tree, box->text()); });
  auto schedule = [refilter, box] {
    if (!box->text().isEmpty()) refilter->start();
  };
  connect(tree->model(), &QAbstractItemModel::rowsInserted, refilter, schedule);
  connect(tree->model(), &QAbstractItemModel::dataChanged, refilter, schedule);
  return box;
}

// --- states ---------------------------------------------------------------

void CSongliftDlg::SetDeviceState(DeviceState state) { volume().SetDeviceState(state); }

void CSongliftDlg::SetBusyState(BusyState state) { volume().SetBusyState(state); }

void CSongliftDlg::UpdateControls() {
  const DeviceState device = shown_device_;
  const bool idle = !working();
  const bool ready = device == DeviceState::kReady;
  // A directory the mount found damaged is shown but not written to.
  const bool writable = ready && !volume().ReadOnly();
  sync_->setEnabled(writable && idle);
  check_->setEnabled(ready && idle);
  learn_remote_->setEnabled(writable && idle);
  initialize_->setEnabled(idle && (ready || device == DeviceState::kNoVolume));
  // Choosing another driver is possible whenever no job runs, also when the
  // chosen module finds no valid volume (it may simply be the wrong module).
  driver_->setEnabled(idle);
  // The pending list is the PC's; it stays open while a sync runs.
  import_->setEnabled(ready);
  copy_to_pc_->UpdateEnabled();
}

bool CSongliftDlg::working() const {
  return shown_busy_ != BusyState::kIdle || (repair_ != nullptr && repair_->running());
}

bool CSongliftDlg::IsPlayerIdle(const QString& message) {
  if (shown_device_ == DeviceState::kReady && volume().ReadOnly()) {
    ReportEditFailure(jukepak::Result::Error(jukepak::ResultCode::kCorrupt, jukepak::kDamagedDirectory));
    return false;
  }
  if (shown_device_ == DeviceState::kReady && !working()) return true;
  if (app_->options().notifyBusy != 0) {
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kInformation, "Player Busy", message,
                                 MessageBoxes::Buttons::kOk);
  }
  return false;
}

bool CSongliftDlg::DiskWritable() {
  // Every edit and job that writes asks here first, while no job runs: an
  // undo file whose operation has ended is closed before anything else writes.
  FinishUndoFile();
  jukepak::WriteConsentPrompts prompts;
  prompts.ask = [this](const std::string& question) {
    return MessageBoxes::Current().Show(
               this, MessageBoxes::Kind::kWarning, "Songlift", QString::fromStdString(question),
               MessageBoxes::Buttons::kYesNoDefaultNo) == MessageBoxes::Answer::kYes;
  };
  prompts.tell = [this](const std::string& why) {
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kWarning, "Songlift",
                                 QString::fromStdString(why), MessageBoxes::Buttons::kOk);
  };
  return jukepak::ObtainWriteConsent(prompts);
}

void CSongliftDlg::RequestMount() {
  if (volume().deviceState() == DeviceState::kNoDriver) return;
  const bool valid = volume().CheckVolume();
  if (volume().deviceState() == DeviceState::kNoDriver) return;  // the header could not be read
  SetDeviceState(valid ? DeviceState::kVolumeNotLoaded : DeviceState::kNoVolume);
  if (!valid) ShowStatus(kNoVolumeStatus);
  if (valid && !working()) {
    SetBusyState(BusyState::kMount);
    volume().SignalJob(Job::kMount);
  }
}

void CSongliftDlg::RefreshSizeLabels() {
  const jukepak::SizeLabelUpdate update =
      size_labels_.Update(download_kilobytes_, free_kilobytes_);
  if (update.downloadChanged) download_size_->setText(QString::fromStdString(update.download));
  if (update.freeChanged) free_space_->setText(QString::fromStdString(update.free));
}

// --- the engine's events ---------------------------------------------------

void CSongliftDlg::ShowStatus(const QString& text) {
  status_->setText(text);
  AppendLog(text);
}

void CSongliftDlg::AppendLog(const QString& text) {
  for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
    if (line == last_log_line_) continue;  // the status line repeats itself
    log_->appendPlainText(line);
    last_log_line_ = line;
  }
}

void CSongliftDlg::OnDeviceState(DeviceState state) {
  shown_device_ = state;
  UpdateControls();
}

void CSongliftDlg::OnBusyState(BusyState state) {
  shown_busy_ = state;
  UpdateControls();
  RefreshSizeLabels();
  if (state == BusyState::kIdle && close_when_idle_) close();
}

void CSongliftDlg::ShowDirectory(const jukepak::DirectorySnapshot& directory) {
  player_list_->Apply(directory.sequence, directory.cds);
  free_kilobytes_ = directory.freeKilobytes;
  RefreshSizeLabels();
}

void CSongliftDlg::ShowPending(const jukepak::PendingSnapshot& pending) {
  pending_list_->Apply(pending.sequence, pending.cds);
  download_kilobytes_ = pending.downloadKilobytes;
  RefreshSizeLabels();
}

void CSongliftDlg::ShowProgress(const jukepak::SyncProgress& progress) {
  copyProgress()->ShowProgress(progress);
  // The free space follows the sync as it takes the clusters.
  free_kilobytes_ = progress.freeKilobytes;
  RefreshSizeLabels();
}

void CSongliftDlg::ShowJobEnd(const jukepak::JobSummary& summary) {
  if (summary.job != Job::kSync) return;
  if (copy_progress_ != nullptr) copy_progress_->hide();
  const QString text = SyncSummaryText(summary);
  AppendLog(text);
  if (close_when_idle_) return;  // the window is about to close
  if (sync_summary_ == nullptr) {
    sync_summary_ = new QMessageBox(this);
    sync_summary_->setWindowTitle("Sync Summary");
    sync_summary_->setStandardButtons(QMessageBox::Ok);
    sync_summary_->setModal(false);
    // It tells, it does not ask: the main window keeps the keyboard.
    sync_summary_->setAttribute(Qt::WA_ShowWithoutActivating);
  }
  const bool trouble = !summary.result.ok() || !summary.sync.failed.empty();
  sync_summary_->setIcon(trouble ? QMessageBox::Warning : QMessageBox::Information);
  sync_summary_->setText(text);
  sync_summary_->show();
}

DlgCopyProgress* CSongliftDlg::copyProgress() {
  if (copy_progress_ == nullptr) {
    copy_progress_ = new DlgCopyProgress([this] { volume().RequestCancel(); }, this);
  }
  return copy_progress_;
}

// --- commands -----------------------------------------------------------------

void CSongliftDlg::OnSync() {
  const uint32_t free_kb = volume().FreeKilobytes();
  // Songs the sync passes over as already on the player need no room.
  const uint32_t needed_kb = jukepak::KilobytesToWrite(volume());
  if (free_kb < needed_kb) {
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kWarning, "Songlift",
                                 "Your pending songs are too large for the player.  Please remove "
                                 "some songs from the pending list.",
                                 MessageBoxes::Buttons::kOk);
    return;
  }
  if (shown_device_ != DeviceState::kReady || working() || volume().ReadOnly()) {
    return;
  }
  if (!DiskWritable()) return;
  SetBusyState(BusyState::kSync);
  copyProgress()->Start();
  copyProgress()->show();
  volume().SignalJob(Job::kSync);
}

void CSongliftDlg::OnInitialize() {
  const DeviceState device = shown_device_;
  const bool allowed = (device == DeviceState::kReady && !working()) ||
                       device == DeviceState::kNoVolume;
  if (!allowed) return;
  bool keep_undo = true;
  const auto answer = MessageBoxes::Current().ShowWithChoice(
      this, MessageBoxes::Kind::kQuestion, "Initialize File System", InitializeQuestion(),
      MessageBoxes::Buttons::kYesNoDefaultNo, "Keep an undo file", &keep_undo);
  if (answer != MessageBoxes::Answer::kYes || !DiskWritable()) return;
  if (keep_undo && !ArmUndoFile("init")) return;
  SetDeviceState(DeviceState::kNoVolume);
  SetBusyState(BusyState::kInitialize);
  volume().SignalJob(Job::kInit);
}

QString CSongliftDlg::InitializeQuestion() {
  if (volume().deviceState() != DeviceState::kReady) {
    return "The drive holds no player volume. This writes a new, empty one over the whole "
           "drive; whatever the drive holds now is lost.\nDo you wish to proceed?";
  }
  size_t tracks = 0;
  const size_t cds = volume().model().playerCds.size();
  for (const auto& cd : volume().model().playerCds) tracks += cd->tracks.size();
  return QString("This erases every song on the player: %1 %2, %3 %4.\nDo you wish to proceed?")
      .arg(cds)
      .arg(cds == 1 ? "CD" : "CDs")
      .arg(tracks)
      .arg(tracks == 1 ? "track" : "tracks");
}

bool CSongliftDlg::ArmUndoFile(const QString& operation) {
  UndoSwitchDevice* device = app_->undoSwitch();
  if (device == nullptr) return true;  // a device of a test's own: nothing to keep
  const QString folder = frontend::UndoFolder();
  if (!QDir().mkpath(folder)) {
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kWarning, "Songlift",
                                 "No undo file can be made in " + folder +
                                     ", so nothing was written.",
                                 MessageBoxes::Buttons::kOk);
    return false;
  }
  device->Arm(folder, frontend::UndoVolumeName(), operation);
  return true;
}

QString CSongliftDlg::FinishUndoFile() {
  UndoSwitchDevice* device = app_->undoSwitch();
  if (device == nullptr || !device->armed()) return QString();
  jukepak::Result finished = jukepak::Result::Ok();
  const std::unique_ptr<frontend::UndoChoiceDevice> undo = device->Disarm(&finished);
  if (!undo->path().isEmpty()) {
    return QString::fromStdString(frontend::UndoReportLine(*undo, finished));
  }
  if (!undo->createFailure().ok()) {
    MessageBoxes::Current().Show(
        this, MessageBoxes::Kind::kWarning, "Songlift",
        QString::fromStdString("No undo file could be made, so nothing was written: " +
                               undo->createFailure().message()),
        MessageBoxes::Buttons::kOk);
  }
  return QString();
}

void CSongliftDlg::OnOptions() {
  DlgOptions dialog(app_->options(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  app_->options() = dialog.options();
  app_->settings().WriteOptions(app_->options());
  app_->ApplyOptions();
  RefreshSizeLabels();  // a new bitrate changes the estimates
}

void CSongliftDlg::OnAbout() {
  AboutBox about(this);
  about.exec();
}

void CSongliftDlg::OnImport() {
  DlgImport dialog([this](const QStringList& paths) { DropPaths(paths); }, this, import_chooser_);
  dialog.exec();
}

void CSongliftDlg::OnDelete() {
  if (focus_tree_ != nullptr) DeleteHighlighted(focus_tree_);
}

void CSongliftDlg::UpdateDeleteButton() {
  delete_->setEnabled(focus_tree_ != nullptr && !focus_tree_->selectedItems().isEmpty());
}

void CSongliftDlg::OnIntegrityCheck() {
  jukepak::IntegrityCounts counts;
  const jukepak::Result checked = jukepak::CheckIntegrity(volume(), &counts);
  if (!checked.ok()) return;
  const QString text = QString::fromStdString(jukepak::IntegrityMessage(counts, true));
  if (counts.clean()) {
    MessageBoxes::Current().Show(nullptr, MessageBoxes::Kind::kInformation,
                                 jukepak::kIntegrityCaption, text, MessageBoxes::Buttons::kOk);
    return;
  }
  // The repair removes damaged tracks: Enter must not start it.
  const auto answer = MessageBoxes::Current().Show(nullptr, MessageBoxes::Kind::kQuestion,
                                                   jukepak::kIntegrityCaption, text,
                                                   MessageBoxes::Buttons::kYesNoDefaultNo);
  if (answer == MessageBoxes::Answer::kYes) StartRepair();
}

void CSongliftDlg::StartRepair() {
  if (shown_device_ != DeviceState::kReady || working()) return;
  if (!DiskWritable()) return;
  if (repair_ == nullptr) {
    repair_ = new VolumeRepair(this);
    connect(repair_, &VolumeRepair::finished, this, &CSongliftDlg::RepairFinished);
  }
  SetBusyState(BusyState::kRepair);
  repair_->Start();
}

void CSongliftDlg::RepairFinished(int outcome, const QStringList& lines) {
  const auto result = jukepak::checker::CheckOutcome(outcome);
  // The repair has ended and its thread is joined: its undo file is complete.
  QStringList shown = lines;
  const QString undo_line = FinishUndoFile();
  if (!undo_line.isEmpty()) shown << undo_line;
  if (result != jukepak::checker::CheckOutcome::kLeft) {
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kInformation,
                                 jukepak::kIntegrityCaption, shown.join("\n"),
                                 MessageBoxes::Buttons::kOk);
  }
  // The directory on the disk may have changed under the model: read it again.
  SetBusyState(BusyState::kIdle);
  if (result == jukepak::checker::CheckOutcome::kCommunicationsError) {
    SetDeviceState(DeviceState::kNoDriver);
    ShowStatus("The repair could not reach the player; choose the driver again");
    return;
  }
  RequestMount();
}
void CSongliftDlg::OnDriver() {
  DlgDrivers dialog(app_->driverInUse(), jukepak::FindDriverModules(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const QString chosen = dialog.selectedPath();
  if (working()) return;
  volume().UnbindDriver();
  // What the old player sent is shown before anything of the new one.
  app_->reporter().DeliverPending();
  app_->setDriverPath(chosen);
  app_->clearDriverOverride();
  app_->settings().WriteDriver(chosen.toStdString());  // stored at once, before the module is known to work
  if (!app_->BindDriver(chosen).ok()) {
    ReportBindFailure(chosen);
  } else {
    RequestMount();
  }
  RefreshSizeLabels();
  UpdateControls();
}

void CSongliftDlg::ReportBindFailure(const QString& module) {
  ShowStatus(kNoDriverStatus);
  RefreshSizeLabels();
  MessageBoxes::Current().Show(
      this, MessageBoxes::Kind::kWarning, "Songlift",
      QString("The driver module %1 could not be used:\n%2\n\nConnect the player and choose "
              "the module again with Driver, or choose another one.")
          .arg(module, QString::fromStdString(volume().bindError())),
      MessageBoxes::Buttons::kOk);
}

void CSongliftDlg::OnLearnRemote() {
  if (!IsPlayerIdle("You may not change the remote-control codes right now.")) return;
  if (!DiskWritable()) return;
  DlgIr dialog(&volume(), app_->options().notifyDuplicate != 0, this);
  dialog.exec();
}
void CSongliftDlg::DropPaths(const QStringList& paths) {
  std::vector<std::string> list;
  for (const QString& path : paths) list.push_back(path.toStdString());
  jukepak::DropOptions options;
  options.includeSubfolders = app_->options().includeSubfolders != 0;
  ShowAddFailures(jukepak::DropFiles(volume(), list, options));
  RefreshSizeLabels();
}

void CSongliftDlg::ShowAddFailures(const std::vector<jukepak::AddFailure>& failures) {
  if (failures.empty()) return;
  QString text = failures.size() == 1 ? "This file was not added:\n\n"
                                      : QString("These %1 files were not added:\n\n").arg(failures.size());
  for (const jukepak::AddFailure& failure : failures) {
    text += QString::fromStdString(jukepak::DescribeFailure(failure)) + "\n";
  }
  MessageBoxes::Current().Show(this, MessageBoxes::Kind::kWarning, "Songlift", text.trimmed(),
                               MessageBoxes::Buttons::kOk);
}

// --- window events ------------------------------------------------------------

void CSongliftDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  size_timer_->start();
  focus_tree_ = nullptr;
  RequestMount();
  if (volume().deviceState() != DeviceState::kNoDriver) return;
  if (app_->driverInUse().isEmpty()) {
    ShowStatus(kChooseDriverStatus);  // the first run: nothing failed yet
  } else if (!volume().bindError().empty()) {
    ShowStatus(kNoDriverStatus);
    // The box once the window is on screen, so that it has its owner to sit over.
    QTimer::singleShot(0, this, [this] {
      if (volume().deviceState() == DeviceState::kNoDriver) ReportBindFailure(app_->driverInUse());
    });
  }
}

void CSongliftDlg::closeEvent(QCloseEvent* event) {
  if (working()) {
    if (!close_when_idle_) {
      const auto answer = MessageBoxes::Current().Show(
          this, MessageBoxes::Kind::kQuestion, "Songlift",
          "Songlift is still working on the player.\nStop after the song in hand and quit?",
          MessageBoxes::Buttons::kYesNo);
      if (answer != MessageBoxes::Answer::kYes) {
        event->ignore();
        return;
      }
      // The job stops after the cluster in hand; its last event closes the
      // window (OnBusyState), so nothing here waits for the worker.
      close_when_idle_ = true;
      volume().RequestCancel();
    }
    event->ignore();
    return;
  }
  size_timer_->stop();
  if (sync_summary_ != nullptr) sync_summary_->hide();
  QDialog::closeEvent(event);
}

void CSongliftDlg::keyPressEvent(QKeyEvent* event) {
  // A stray Enter or Esc must not close the main window (and end a sync).
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CSongliftDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CSongliftDlg::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  DropPaths(paths);
}

bool CSongliftDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pending_tree_->viewport() || watched == player_tree_->viewport()) {
    auto* owner = static_cast<QTreeWidget*>(watched->parent());
    if (HandleTreeMouse(owner, event)) return true;
  }
  auto* tree = qobject_cast<QTreeWidget*>(watched);
  if (tree != nullptr) {
    if (event->type() == QEvent::FocusIn) {
      focus_tree_ = tree;
      UpdateDeleteButton();
    }
    if (event->type() == QEvent::KeyPress) {
      OnTreeKey(tree, static_cast<QKeyEvent*>(event)->key());  // the tree handles the key too
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace songlift
