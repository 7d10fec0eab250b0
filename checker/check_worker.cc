#include "checker/check_worker.h"

#include <QEventLoop>
#include <QThread>
#include <chrono>
#include <functional>
#include <thread>

namespace volmend {
namespace {

using jukepak::checker::Notice;
using jukepak::checker::RepairDecision;

// The worker's console: every window call is made on the window thread while
// the worker waits for it.
class WindowConsole : public jukepak::checker::CheckConsole {
 public:
  WindowConsole(VolmendDialog* dialog, CheckerPrompts* prompts, std::atomic<int>* state)
      : dialog_(dialog), prompts_(prompts), state_(state) {}

  void ListLine(const std::string& line) override {
    const QString text = QString::fromLatin1(line.data(), qsizetype(line.size()));
    OnWindow([this, text] { dialog_->AddLine(text); });
  }
  void TitleLine(const std::string& line) override {
    const QString text = QString::fromLatin1(line.data(), qsizetype(line.size()));
    OnWindow([this, text] { dialog_->SetTitleLine(text); });
  }
  bool StopRequested() override { return state_->load() == kStopRequested; }
  void OfferRepair() override {
    OnWindow([this] { dialog_->EnableButtons(); });
  }
  RepairDecision AwaitRepair(bool) override {
    for (;;) {
      int seen = state_->load();
      if (seen == kStopRequested) return RepairDecision::kStop;
      // Take the request back to running; a stop that came in between wins.
      if (seen == kRepairRequested && state_->compare_exchange_strong(seen, kRunning)) {
        return RepairDecision::kRepair;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  bool ConfirmReinitialize() override {
    bool yes = false;
    OnWindow([this, &yes] {
      yes = prompts_->AskYesNo(dialog_, jukepak::checker::kReinitializeQuestion,
                               jukepak::checker::kReinitializeCaption);
    });
    return yes;
  }
  void ShowNotice(Notice notice) override {
    if (StopRequested()) return;  // the user has closed the window already
    OnWindow([this, notice] {
      prompts_->Notice(dialog_, jukepak::checker::NoticeText(notice),
                       jukepak::checker::NoticeCaption(notice));
    });
  }

 private:
  void OnWindow(const std::function<void()>& call) {
    QMetaObject::invokeMethod(dialog_, call, Qt::BlockingQueuedConnection);
  }

  VolmendDialog* dialog_;
  CheckerPrompts* prompts_;
  std::atomic<int>* state_;
};

}  // namespace

VolmendSession::VolmendSession(jukepak::SectorDevice* device, CheckerPrompts* prompts)
    : device_(device), prompts_(prompts) {
  connect(&dialog_, &VolmendDialog::repairClicked, this, &VolmendSession::RequestRepair);
}

VolmendSession::~VolmendSession() {
  Stop();
  delete worker_;
}

void VolmendSession::Start() {
  if (worker_ != nullptr) return;
  dialog_.show();
  worker_ = QThread::create([this] {
    WindowConsole console(&dialog_, prompts_, &state_);
    outcome_ = jukepak::checker::RunCheck(*device_, console);
  });
  // The run's end closes the dialog (and, on a stop, the dialog is gone already).
  connect(worker_, &QThread::finished, this, [this] {
    ended_ = true;
    dialog_.done(0);
    emit workerEnded();
  });
  worker_->start();
}

int VolmendSession::Exec() {
  Start();
  dialog_.exec();
  Stop();
  return 0;
}

void VolmendSession::Stop() {
  if (worker_ == nullptr) return;
  RequestStop();
  // ended_ is set on this thread by the queued end-of-run call, so it cannot
  // change between the test and the start of the loop.
  if (!ended_) {
    QEventLoop loop;
    connect(this, &VolmendSession::workerEnded, &loop, &QEventLoop::quit);
    loop.exec();
  }
  worker_->wait();
}

bool VolmendSession::workerFinished() const { return ended_; }

void VolmendSession::RequestRepair() {
  int expected = kRunning;
  state_.compare_exchange_strong(expected, kRepairRequested);
}

void VolmendSession::RequestStop() { state_.store(kStopRequested); }

}  // namespace volmend
