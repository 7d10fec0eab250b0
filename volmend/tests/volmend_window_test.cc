// Volmend's dialog, worker and stop handshake on the offscreen platform.

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <fstream>
#include <thread>

#include "checker/testing/scripted_console.h"
#include "driver/driver_device.h"
#include "driver/image_file.h"
#include "driver/image_write_consent.h"
#include "driver/tests/driver_test_support.h"
#include "driver/tests/loop_device.h"
#include "format/format_constants.h"
#include "testing/fault_device.h"
#include "testing/scripted_device.h"
#include "testing/sparse_device.h"
#include "testing/volume_builder.h"
#include "undo/file_undo_store.h"
#include "undo/undo_restore.h"
#include "volmend/check_worker.h"
#include "volmend/tests/prompts_fixture.h"

namespace volmend {
namespace {

using jukepak::testing::FaultDevice;
using jukepak::testing::Op;
using jukepak::testing::Repeat;
using jukepak::testing::ScriptedDevice;
using jukepak::checker::CheckOutcome;
using jukepak::testing::SparseDevice;

class VolmendWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    ASSERT_TRUE(volume.Format().ok());
  }
  // A CD with one track of three clusters.
  void AddCdWithTrack(const std::string& album) {
    int id = 0;
    ASSERT_TRUE(volume.AddCd(album, "Artist", &id).ok());
    ASSERT_TRUE(volume.AddTrack(id, "One", 3).ok());
  }
  // A lost chain: found by the check, fixed by a repair.
  void Damage() {
    volume.fat().set(50, jukepak::format::kFatEndOfChain);
    ASSERT_TRUE(volume.WriteFat().ok());
  }
  // A second, independent run over the disk.
  CheckOutcome CheckAgain() {
    jukepak::checker::testing::ScriptedConsole console;
    console.decision = jukepak::checker::RepairDecision::kLeave;
    return jukepak::checker::RunCheck(device, console);
  }
  static bool Shows(const QStringList& lines, const QString& line) { return lines.contains(line); }

  // The undo files the windows keep go to the data folder: the run's own.
  QStringList UndoFiles() const {
    return QDir(QString::fromStdString(data_home_.path()) + "/Corvane/undo").entryList(QDir::Files);
  }

  jukepak::testing::TempDir data_home_;
  jukepak::testing::ScopedEnv data_home_variable_{"XDG_DATA_HOME", data_home_.path().c_str()};
  SparseDevice device{20000};
  jukepak::testing::VolumeBuilder volume{&device};
  ScriptedPrompts prompts;
};

TEST_F(VolmendWindowTest, SoundVolumeEndsWithOkAndClosesTheDialog) {
  AddCdWithTrack("A");
  const auto before = device.contents();
  VolmendSession session(&device, &prompts);
  prompts.dialog = &session.dialog();
  VolmendDialog& dialog = session.dialog();
  EXPECT_EQ(dialog.windowTitle(), "Jukepak Integrity Check / Repair");
  const QLabel* label = dialog.findChild<QLabel*>();
  ASSERT_NE(label, nullptr);
  EXPECT_FALSE(label->text().isEmpty());
  EXPECT_NE(label->text(), "Blah blah blah");
  EXPECT_FALSE(dialog.repairButton()->isEnabled());
  EXPECT_FALSE(dialog.cancelButton()->isEnabled());

  session.Start();
  ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
  EXPECT_EQ(session.outcome(), CheckOutcome::kClean);
  EXPECT_EQ(dialog.lines(), (QStringList{"Jukepak integrity checker - V0.01",
                                         "Device found [9.76MB]- reading header...",
                                         "Clusters used: 5 - %00 of drive"}));
  EXPECT_EQ(dialog.windowTitle(), "Filesystem is OK");
  EXPECT_EQ(prompts.boxes, (std::vector<ShownBox>{{"Filesystem is OK", "Done", true}}));
  EXPECT_FALSE(dialog.isVisible()) << "the run's end closes the dialog";
  EXPECT_FALSE(dialog.repairButton()->isEnabled());
  session.Stop();
  EXPECT_EQ(device.contents(), before);
  EXPECT_EQ(device.closeCount(), 0) << "Close is the caller's, after the worker";
}

TEST_F(VolmendWindowTest, RepairButtonRunsTheRepairPass) {
  AddCdWithTrack("A");
  Damage();
  const auto before = device.contents();
  VolmendSession session(&device, &prompts);
  prompts.dialog = &session.dialog();
  VolmendDialog& dialog = session.dialog();
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return dialog.repairButton()->isEnabled(); }));
  EXPECT_TRUE(dialog.cancelButton()->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return dialog.windowTitle() == "Repair?"; }));
  EXPECT_TRUE(Shows(dialog.lines(), "8KB in damaged files/lost chains"));
  EXPECT_TRUE(prompts.boxes.empty());

  QTest::mouseClick(dialog.repairButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
  EXPECT_EQ(session.outcome(), CheckOutcome::kRepaired);
  const QStringList lines = dialog.lines();
  const qsizetype repairing = lines.indexOf("Repairing...");
  ASSERT_GT(repairing, 2);
  EXPECT_EQ(lines[repairing - 1], "");
  EXPECT_EQ(lines[repairing - 2], "");
  EXPECT_EQ(lines[repairing + 1], "");
  EXPECT_EQ(lines.mid(repairing + 2, 2),
            (QStringList{"8KB in damaged files/lost chains", "Clusters used: 5 - %00 of drive"}));
  EXPECT_EQ(prompts.boxes, (std::vector<ShownBox>{{"Repairs complete", "Done", true}}));
  session.Stop();
  EXPECT_EQ(CheckAgain(), CheckOutcome::kClean);

  // The choice was on: the last line names the undo file, which gives the
  // disk back as it was before the repair.
  EXPECT_FALSE(dialog.keepUndoBox()->isEnabled()) << "the choice is fixed once Repair is pressed";
  ASSERT_EQ(UndoFiles().size(), 1);
  EXPECT_TRUE(UndoFiles()[0].endsWith("-player-volmend.undo")) << UndoFiles()[0].toStdString();
  EXPECT_EQ(lines.back().left(11), "Undo file: ");
  EXPECT_TRUE(lines.back().contains(session.undoFile())) << lines.back().toStdString();
  std::unique_ptr<jukepak::undo::FileUndoStore> file;
  ASSERT_TRUE(jukepak::undo::FileUndoStore::Open(session.undoFile().toStdString(), &file).ok());
  jukepak::undo::UndoReport report;
  ASSERT_TRUE(jukepak::undo::RestoreUndoFile(device, *file, false, &report).ok());
  EXPECT_EQ(report.refusal, jukepak::undo::UndoRefusal::kNone);
  EXPECT_EQ(device.contents(), before);
}

// Without the choice, or without a write, no undo file is made.
TEST_F(VolmendWindowTest, NoUndoFileWithoutTheChoiceOrWithoutAWrite) {
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept, cancelled" : "not kept, repaired");
    Damage();
    VolmendSession session(&device, &prompts);
    VolmendDialog& dialog = session.dialog();
    dialog.keepUndoBox()->setChecked(keep);
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return dialog.repairButton()->isEnabled(); }));
    QTest::mouseClick(keep ? dialog.cancelButton() : dialog.repairButton(), Qt::LeftButton);
    if (!keep) ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
    session.Stop();
    EXPECT_EQ(session.outcome(), keep ? CheckOutcome::kCancelled : CheckOutcome::kRepaired);
    EXPECT_TRUE(session.undoFile().isEmpty());
    EXPECT_TRUE(UndoFiles().isEmpty());
    EXPECT_FALSE(dialog.lines().join("\n").contains("Undo file"))
        << dialog.lines().join("\n").toStdString();
  }
}

// An undo file that cannot be made fails the repair before its first write,
// and the report says why.
TEST_F(VolmendWindowTest, UndoFileThatCannotBeMadeStopsTheRepairBeforeItWrites) {
  Damage();
  const auto before = device.contents();
  const std::string blocker = data_home_.path() + "/a-file";
  std::ofstream(blocker) << "not a folder";
  VolmendSession session(&device, &prompts, QString::fromStdString(blocker + "/undo"));
  prompts.dialog = &session.dialog();
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return session.dialog().repairButton()->isEnabled(); }));
  QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
  EXPECT_EQ(session.outcome(), CheckOutcome::kCommunicationsError);
  EXPECT_EQ(device.contents(), before);
  EXPECT_EQ(session.dialog().lines().back(),
            QString::fromStdString("No undo file could be made, so nothing was written: cannot "
                                   "create the folder " + blocker + "/undo for the undo file"));
}

TEST_F(VolmendWindowTest, CancelAtTheQuestionEndsTheRunAndWritesNothing) {
  Damage();
  const auto before = device.contents();
  VolmendSession session(&device, &prompts);
  VolmendDialog& dialog = session.dialog();
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return dialog.cancelButton()->isEnabled(); }));
  QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
  session.Stop();
  EXPECT_TRUE(session.workerFinished());
  EXPECT_EQ(session.outcome(), CheckOutcome::kCancelled);
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_EQ(device.contents(), before);
}

TEST_F(VolmendWindowTest, StopRequestIsNeverOverwrittenByARepairRequest) {
  Damage();
  const auto before = device.contents();
  VolmendSession session(&device, &prompts);
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return session.dialog().repairButton()->isEnabled(); }));
  session.RequestStop();
  session.RequestRepair();  // too late: the stop stands
  EXPECT_EQ(session.state(), kStopRequested);
  ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
  EXPECT_EQ(session.outcome(), CheckOutcome::kCancelled);
  EXPECT_EQ(device.contents(), before);
}

TEST_F(VolmendWindowTest, WindowWaitsForABusyWorkerWithoutBlockingItsCalls) {
  AddCdWithTrack("A");
  // Every read is held until released, so the worker is busy when the window closes.
  ScriptedDevice gated(&device);
  gated.Hold(Op::kRead);
  VolmendSession session(&gated, &prompts);
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return gated.holding(); }));  // inside the header read
  session.dialog().reject();                              // the user closes the window
  // The worker finishes its read, then reports the drive (a blocking call the
  // waiting window thread must serve) and stops at its first stop check.
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gated.Release();
  });
  session.Stop();
  release.join();
  EXPECT_TRUE(session.workerFinished());
  EXPECT_EQ(session.outcome(), CheckOutcome::kCancelled);
  EXPECT_EQ(gated.callCount(Op::kRead), 3u) << "the header, the CD run, one FAT sector, then the stop check";
  EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(VolmendWindowTest, ReinitializeQuestionDecides) {
  volume.header().setFatStart(3);
  ASSERT_TRUE(volume.WriteHeader().ok());
  const uint8_t zeros[512] = {};  // and no FAT that a rebuilt header could agree with
  ASSERT_TRUE(device.Write(4, 1, zeros).ok());
  const auto before = device.contents();
  for (bool yes : {false, true}) {
    ScriptedPrompts answers;
    answers.answerYes = yes;
    VolmendSession session(&device, &answers);
    answers.dialog = &session.dialog();
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return session.dialog().repairButton()->isEnabled(); }));
    EXPECT_EQ(session.dialog().lines().back(),
              "Fatal errors detected - filesystem will require reinitializing.");
    QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
    const ShownBox question{
        "This will erase any data currently on the drive.\nDo you wish to proceed?\n",
        "Reinitialize Filesystem", true};
    if (!yes) {
      EXPECT_EQ(answers.boxes, std::vector<ShownBox>{question});
      EXPECT_EQ(session.outcome(), CheckOutcome::kLeft);
      EXPECT_EQ(device.contents(), before);
    } else {
      EXPECT_EQ(answers.boxes,
                (std::vector<ShownBox>{question, {"Filesystem reinitialized", "Ok", true}}));
      EXPECT_EQ(session.outcome(), CheckOutcome::kReinitialized);
    }
  }
  EXPECT_EQ(CheckAgain(), CheckOutcome::kClean);
}

TEST_F(VolmendWindowTest, CommunicationsFailureIsShownAndEndsTheRun) {
  FaultDevice faulty(&device);
  faulty.plan().FailReadCallsFrom(3, Repeat::kOnce);
  VolmendSession session(&faulty, &prompts);
  prompts.dialog = &session.dialog();
  session.Start();
  ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
  EXPECT_EQ(session.outcome(), CheckOutcome::kCommunicationsError);
  EXPECT_EQ(prompts.boxes, (std::vector<ShownBox>{{"Communications Error!", "Error", true}}));
  EXPECT_FALSE(session.dialog().isVisible());
}

// --- disks that must not be written: Volmend over diskimage.dld ---

class VolmendDiskTest : public VolmendWindowTest {
 protected:
  void SetUp() override {
    VolmendWindowTest::SetUp();
    file_ = folder_.File("disk.img");
    ASSERT_TRUE(jukepak::CreateSparseImage(file_, 20000).ok());
  }
  // Runs Volmend over the disk at `path` through diskimage.dld and presses
  // Repair, which offers reinitialization of the blank or foreign disk.
  CheckOutcome RepairThrough(const std::string& path) {
    jukepak::testing::ScopedEnv image("JUKEPAK_IMAGE", path.c_str());
    std::unique_ptr<jukepak::DriverModule> module;
    EXPECT_TRUE(jukepak::DriverModule::Load(JUKEPAK_BIN_DIR "/diskimage.dld", &module).ok());
    jukepak::DriverDevice disk(std::move(module));
    CheckOutcome outcome = CheckOutcome::kCommunicationsError;
    {
      VolmendSession session(&disk, &prompts);
      prompts.dialog = &session.dialog();
      session.Start();
      EXPECT_TRUE(WaitFor([&] { return session.dialog().repairButton()->isEnabled(); }));
      QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
      EXPECT_TRUE(WaitFor([&] { return session.workerFinished(); }));
      outcome = session.outcome();
    }
    disk.Close();
    return outcome;
  }

  const ShownBox reinitialize_question_{
      "This will erase any data currently on the drive.\nDo you wish to proceed?\n",
      "Reinitialize Filesystem", true};
  jukepak::testing::TempDir folder_;
  std::string file_;
};

TEST_F(VolmendDiskTest, ReadOnlyImageIsNotReinitializedAndSaysWhy) {
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  EXPECT_EQ(RepairThrough(file_), CheckOutcome::kLeft);
  EXPECT_EQ(prompts.boxes,
            (std::vector<ShownBox>{reinitialize_question_,
                                   {file_ + " is read-only (write-protected: mode 0444); nothing "
                                            "is written to it",
                                    "Error", true}}));
  EXPECT_EQ(jukepak::testing::ReadFileBytes(file_), std::vector<uint8_t>(20000 * 512, 0));
}

TEST_F(VolmendDiskTest, FileSystemIsReinitializedOnlyAfterASecondYes) {
  if (!jukepak::testing::MakeExt4FileSystem(file_)) GTEST_SKIP() << jukepak::testing::kNoMkfsExt4;
  jukepak::testing::LoopDevice loop(file_);
  SKIP_WITHOUT_LOOP_DEVICE(loop);
  jukepak::testing::ScopedEnv no_force(jukepak::kForceDiskVariable, nullptr);
  const std::vector<uint8_t> before = jukepak::testing::ReadFileBytes(file_);
  prompts.answers = {true, false};
  EXPECT_EQ(RepairThrough(loop.path()), CheckOutcome::kLeft);
  const std::string question = jukepak::ForeignDiskQuestion(
      loop.path(), loop.path() + " holds an ext4 file system; not touched");
  EXPECT_EQ(prompts.boxes,
            (std::vector<ShownBox>{reinitialize_question_, {question, "Volmend", true}}));
  EXPECT_EQ(jukepak::testing::ReadFileBytes(file_), before);

  prompts.boxes.clear();
  prompts.answers = {true, true};
  EXPECT_EQ(RepairThrough(loop.path()), CheckOutcome::kReinitialized);
}

}  // namespace
}  // namespace volmend
