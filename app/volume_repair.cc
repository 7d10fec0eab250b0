#include "app/volume_repair.h"

#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "format/sector_device.h"
#include "frontend/message_boxes.h"

namespace songlift {

using frontend::MessageBoxes;
namespace {

// The engine's device, already open: the checker's own Open and Close must
// not reset or release it.
class BorrowedDevice : public jukepak::ForwardingDevice {
 public:
  using ForwardingDevice::ForwardingDevice;
  jukepak::Result Open() override { return jukepak::Result::Ok(); }
  void Close() override {}
};

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

VolumeRepair::VolumeRepair(CSongliftDlg* window) : QObject(window), window_(window) {}

VolumeRepair::~VolumeRepair() {
  if (thread_.joinable()) thread_.join();
}

void VolumeRepair::Start() {
  lines_.clear();
  jukepak::SectorDevice* device = window_->app()->volume().device();
  thread_ = std::thread([this, device] {
    BorrowedDevice borrowed(device);
    Finish(jukepak::checker::RunCheck(borrowed, *this));
  });
}

void VolumeRepair::Finish(jukepak::checker::CheckOutcome outcome) {
  window_thread_.Post([this, outcome] {
    thread_.join();
    emit finished(int(outcome), lines_);
  });
}

void VolumeRepair::ListLine(const std::string& line) { lines_ << Text(line); }

void VolumeRepair::TitleLine(const std::string& line) {
  const QString status = Text(line);
  window_thread_.Post([this, status] { window_->ShowStatus(status); });
}

jukepak::checker::RepairDecision VolumeRepair::AwaitRepair(bool reinitialize) {
  // A header beyond repair is Volmend's business: Songlift never wipes the player from here.
  if (reinitialize) return jukepak::checker::RepairDecision::kLeave;
  const QString findings = lines_.join("\n");
  MessageBoxes::Answer answer = MessageBoxes::Answer::kNo;
  window_thread_.Call([&] {
    bool keep_undo = true;
    answer = MessageBoxes::Current().ShowWithChoice(
        window_, MessageBoxes::Kind::kQuestion, "Integrity Check",
        "The check found:\n\n" + findings +
            "\n\nThe repair removes the damaged tracks and CDs named above and frees the "
            "clusters no track owns.\nRepair the player now?",
        MessageBoxes::Buttons::kYesNoDefaultNo, "Keep an undo file", &keep_undo);
    // Armed while this thread waits here: its writes from now on keep the file.
    if (answer == MessageBoxes::Answer::kYes && keep_undo && !window_->ArmUndoFile("repair")) {
      answer = MessageBoxes::Answer::kNo;
    }
  });
  lines_.clear();
  return answer == MessageBoxes::Answer::kYes ? jukepak::checker::RepairDecision::kRepair
                                              : jukepak::checker::RepairDecision::kLeave;
}

void VolumeRepair::ShowNotice(jukepak::checker::Notice notice) {
  lines_ << QString(jukepak::checker::NoticeText(notice));
}

}  // namespace songlift
