#include "volmend/check_worker.h"

#include <QCheckBox>
#include <QEventLoop>
#include <functional>

#include "driver/image_write_consent.h"

namespace volmend {
namespace {

using jukepak::checker::Notice;
using jukepak::checker::RepairDecision;

// The worker's console: what it shows is handed to the window thread at
// once; what it asks waits for the user's answer there.
class WindowConsole : public jukepak::checker::CheckConsole {
 public:
  WindowConsole(frontend::WindowCaller* window, VolmendDialog* dialog, CheckerPrompts* prompts,
                SharedWorkerState* state)
      : window_(window), dialog_(dialog), prompts_(prompts), state_(state) {}

  void ListLine(const std::string& line) override {
    const QString text = QString::fromUtf8(line.data(), qsizetype(line.size()));
    Show([dialog = dialog_, text] { dialog->AddLine(text); });
  }
  void TitleLine(const std::string& line) override {
    const QString text = QString::fromUtf8(line.data(), qsizetype(line.size()));
    Show([dialog = dialog_, text] { dialog->SetTitleLine(text); });
  }
  bool StopRequested() override { return state_->stopRequested(); }
  void OfferRepair(bool reinitialize) override {
    Show([dialog = dialog_, reinitialize] { dialog->EnableButtons(reinitialize); });
  }
  RepairDecision AwaitRepair(bool reinitialize) override {
    if (!state_->AwaitRepairOrStop()) return RepairDecision::kStop;
    // A reinitialization asks its own question first (ConfirmReinitialize).
    if (!reinitialize && !DiskWritable()) return RepairDecision::kLeave;
    return RepairDecision::kRepair;
  }
  bool ConfirmReinitialize() override {
    bool yes = false;
    OnWindow([this, &yes] {
      yes = prompts_->AskYesNo(dialog_, jukepak::checker::kReinitializeQuestion,
                               jukepak::checker::kReinitializeCaption);
    });
    return yes && DiskWritable();
  }
  void ShowNotice(Notice notice) override {
    if (StopRequested()) return;  // the user has closed the window already
    OnWindow([this, notice] {
      prompts_->Notice(dialog_, jukepak::checker::NoticeText(notice),
                       jukepak::checker::NoticeCaption(notice));
    });
  }

 private:
  // Asks on the window thread and waits for the answer.
  void OnWindow(const std::function<void()>& call) { window_->Call(call); }
  // Shows on the window thread; the worker goes on. The call may run after
  // this console is gone, so it holds only the dialog (the session's, which
  // outlives the worker's last call).
  void Show(std::function<void()> call) { window_->Post(std::move(call)); }

  // A read-only image is told about; a disk holding something else is asked
  // about a second time, default No.
  bool DiskWritable() {
    jukepak::WriteConsentPrompts prompts;
    prompts.ask = [this](const std::string& question) {
      bool yes = false;
      OnWindow(
          [&] { yes = prompts_->AskYesNo(dialog_, QString::fromStdString(question), "Volmend"); });
      return yes;
    };
    prompts.tell = [this](const std::string& why) {
      OnWindow([&] { prompts_->Notice(dialog_, QString::fromStdString(why), "Error"); });
    };
    return jukepak::ObtainWriteConsent(prompts);
  }

  frontend::WindowCaller* window_;
  VolmendDialog* dialog_;
  CheckerPrompts* prompts_;
  SharedWorkerState* state_;
};

}  // namespace

VolmendSession::VolmendSession(jukepak::SectorDevice* device, CheckerPrompts* prompts,
                               QString undo_folder, QString volume)
    : undo_(device, std::move(undo_folder), volume.isEmpty() ? frontend::UndoVolumeName() : volume,
            "volmend"),
      prompts_(prompts) {
  connect(&dialog_, &VolmendDialog::repairClicked, this, &VolmendSession::RequestRepair);
  QCheckBox* keep = dialog_.keepUndoBox();
  undo_.SetKeep(keep->isChecked());
  connect(keep, &QCheckBox::toggled, this, [this](bool on) { undo_.SetKeep(on); });
}

VolmendSession::~VolmendSession() { Stop(); }

void VolmendSession::Start() {
  if (worker_.joinable() || ended_) return;
  dialog_.show();
  worker_ = std::thread([this] {
    WindowConsole console(&window_, &dialog_, prompts_, &state_);
    const jukepak::checker::CheckOutcome outcome = jukepak::checker::RunCheck(undo_, console);
    const jukepak::Result finished = undo_.Finish();
    QString line;
    if (!undo_.path().isEmpty()) {
      line = QString::fromStdString(frontend::UndoReportLine(undo_, finished));
    } else if (!undo_.createFailure().ok()) {
      line = QString::fromStdString("No undo file could be made, so nothing was written: " +
                                    undo_.createFailure().message());
    }
    if (!line.isEmpty()) window_.Post([this, line] { dialog_.AddLine(line); });
    // The worker's last call: the outcome reaches the window thread with the
    // run's end, which closes the dialog (on a stop, it is gone already).
    window_.Post([this, outcome] {
      outcome_ = outcome;
      ended_ = true;
      dialog_.done(0);
      emit workerEnded();
    });
  });
}

int VolmendSession::Exec() {
  Start();
  dialog_.exec();
  Stop();
  return 0;
}

void VolmendSession::Stop() {
  if (!worker_.joinable()) return;
  RequestStop();
  // ended_ is set on this thread by the worker's last call, so it cannot
  // change between the test and the start of the loop.
  if (!ended_) {
    QEventLoop loop;
    connect(this, &VolmendSession::workerEnded, &loop, &QEventLoop::quit);
    loop.exec();
  }
  worker_.join();
}

bool VolmendSession::workerFinished() const { return ended_; }

void VolmendSession::RequestRepair() { state_.RequestRepair(); }

void VolmendSession::RequestStop() { state_.RequestStop(); }

}  // namespace volmend
