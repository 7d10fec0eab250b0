#include "app/dlg_ir.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "format/remote_code_table.h"
#include "frontend/message_boxes.h"

namespace songlift {

using frontend::MessageBoxes;

DlgIr::DlgIr(jukepak::PlayerVolume* volume, bool notify_duplicate, QWidget* parent)
    : QDialog(parent), volume_(volume), notify_duplicate_(notify_duplicate) {
  setWindowTitle("Set Remote Control");
  entries_ = jukepak::LoadRemoteAssignments(volume_->model().header);
  volume_->ReadRemoteCode();  // a code received before the dialog opened is not taken

  auto* grid = new QGridLayout;
  for (const jukepak::RemoteFunction& function : jukepak::RemoteFunctions()) {
    auto* button = new QPushButton(function.caption, this);
    button->setAutoDefault(false);
    button->setMinimumHeight(44);  // room for the code line
    button->setProperty("functionName", QString(function.caption));
    const int number = function.number;
    connect(button, &QPushButton::clicked, this, [this, number] { learning_ = number; });
    grid->addWidget(button, function.row - 1, function.column);
    buttons_[size_t(function.number - 1)] = button;
  }
  const char* middle_labels[] = {"Volume", "CD", "Track", "Treble", "Bass"};
  for (int row = 2; row <= 6; ++row) {
    grid->addWidget(new QLabel(middle_labels[row - 2], this), row - 1, 1, Qt::AlignCenter);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &DlgIr::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);

  RefreshConflicts();
  poll_timer_ = new QTimer(this);
  poll_timer_->setInterval(100);
  connect(poll_timer_, &QTimer::timeout, this, &DlgIr::PollRemote);
  poll_timer_->start();
}

void DlgIr::PollRemote() {
  // The receiver is read on every tick, so codes that come while no function
  // waits are dropped rather than taken later.
  const uint32_t code = volume_->ReadRemoteCode();
  if (learning_ == 0 || code == 0) return;
  entries_[size_t(learning_ - 1)] = jukepak::RemoteEntryFor(code, learning_);
  learning_ = 0;
  QApplication::beep();
  RefreshConflicts();
  update();
}

void DlgIr::RefreshConflicts() {
  groups_ = jukepak::RemoteConflictGroups(entries_);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const QString name = buttons_[i]->property("functionName").toString();
    if (groups_[i] == 0) {
      buttons_[i]->setText(name);
    } else {
      const uint32_t code = jukepak::DecodeRemoteEntry(entries_[i]).code;
      buttons_[i]->setText(name + "\n" + QString::number(code));
    }
  }
}

void DlgIr::accept() {
  if (notify_duplicate_ && jukepak::AnyRemoteConflict(entries_)) {
    const auto answer = MessageBoxes::Current().Show(
        this, MessageBoxes::Kind::kWarning, "Duplicate Assignment",
        "At least one button is set to two different functions.  This may cause problems.  You "
        "are advised to change this.",
        MessageBoxes::Buttons::kOkCancel);
    if (answer == MessageBoxes::Answer::kCancel) return;
  }
  jukepak::StoreRemoteAssignments(entries_, &volume_->model().header);
  const jukepak::Result written = volume_->WriteHeader();
  if (!written.ok()) {
    (void)volume_->ReportDriverFailure("Could not write the remote-control table", written);
    MessageBoxes::Current().Show(this, MessageBoxes::Kind::kWarning, "Songlift",
                                 QString::fromStdString("The remote-control codes could not be "
                                                        "written to the player: " +
                                                        written.message()),
                                 MessageBoxes::Buttons::kOk);
  }
  QDialog::accept();
}

}  // namespace songlift
