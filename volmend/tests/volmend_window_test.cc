// Volmend's dialog, worker and stop handshake on the offscreen platform.

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <thread>

#include "checker/testing/scripted_console.h"
#include "driver/driver_device.h"
#include "driver/image_file.h"
#include "driver/image_write_consent.h"
#include "driver/tests/loop_device.h"
#include "format/format_constants.h"
#include "frontend/testing/window_testing.h"
#include "testing/fault_device.h"
#include "testing/scripted_device.h"
#include "testing/sparse_device.h"
#include "testing/volume_builder.h"
#include "undo/file_undo_store.h"
#include "undo/undo_restore.h"
#include "volmend/check_worker.h"
#include "volmend/tests/prompts_fixture.h"

using jukepak::checker::CheckOutcome;
using jukepak::testing::FaultDevice;
using jukepak::testing::Op;
using jukepak::testing::Repeat;
using jukepak::testing::ScriptedDevice;
using jukepak::testing::SparseDevice;
using volmend::ScriptedPrompts;
using volmend::ShownBox;
using volmend::VolmendDialog;
using volmend::VolmendSession;
using Boxes = std::vector<ShownBox>;

namespace {

constexpr int kWaitMs = 10000;

const ShownBox kReinitializeQuestion{jukepak::checker::kReinitializeQuestion,
                                     "Reinitialize Filesystem", true};

}  // namespace

class VolmendWindowTest : public QObject {
  Q_OBJECT

 private:
  // A CD with one track of three clusters.
  void AddCdWithTrack(const std::string& album) {
    int id = 0;
    QVERIFY(volume.AddCd(album, "Artist", &id).ok());
    QVERIFY(volume.AddTrack(id, "One", 3).ok());
  }
  // A lost chain: found by the check, fixed by a repair.
  void Damage() {
    volume.fat().set(50, jukepak::format::kFatEndOfChain);
    QVERIFY(volume.WriteFat().ok());
  }
  // A second, independent run over the disk.
  CheckOutcome CheckAgain() {
    jukepak::checker::testing::ScriptedConsole console;
    console.decision = jukepak::checker::RepairDecision::kLeave;
    return jukepak::checker::RunCheck(device, console);
  }
  // The undo files the windows keep go to the data folder: the test's own.
  QStringList UndoFiles() const {
    return QDir(data_home_ + "/Corvane/undo").entryList(QDir::Files);
  }
  // Runs Volmend over the disk at `path` through diskimage.dld and presses
  // Repair, which offers reinitialization of the blank or foreign disk.
  CheckOutcome RepairThrough(const QString& path) {
    qputenv("JUKEPAK_IMAGE", path.toLocal8Bit());
    std::unique_ptr<jukepak::DriverModule> module;
    if (!jukepak::DriverModule::Load(JUKEPAK_BIN_DIR "/diskimage.dld", &module).ok()) {
      qWarning("diskimage.dld does not load");
      return CheckOutcome::kCommunicationsError;
    }
    jukepak::DriverDevice disk(std::move(module));
    CheckOutcome outcome = CheckOutcome::kCommunicationsError;
    {
      VolmendSession session(&disk, &prompts);
      prompts.dialog = &session.dialog();
      session.Start();
      if (QTest::qWaitFor([&] { return session.dialog().repairButton()->isEnabled(); }, kWaitMs)) {
        QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
        if (QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs)) {
          outcome = session.outcome();
        }
      }
    }
    disk.Close();
    qunsetenv("JUKEPAK_IMAGE");
    return outcome;
  }

  QString data_home_;
  SparseDevice device{20000};
  jukepak::testing::VolumeBuilder volume{&device};
  ScriptedPrompts prompts;

 private slots:
  // Each test: a fresh data folder, disk and prompts.
  void init() {
    data_home_ = frontend::testing::IsolateUserFolders() + "/data";
    device = SparseDevice(20000);
    volume = jukepak::testing::VolumeBuilder(&device);
    prompts = ScriptedPrompts();
    QVERIFY(volume.Format().ok());
  }

  void soundVolumeEndsWithOkAndClosesTheDialog() {
    AddCdWithTrack("A");
    const auto before = device.contents();
    VolmendSession session(&device, &prompts);
    prompts.dialog = &session.dialog();
    VolmendDialog& dialog = session.dialog();
    QCOMPARE(dialog.windowTitle(), "Jukepak Integrity Check / Repair");
    const QLabel* label = dialog.findChild<QLabel*>();
    QVERIFY(label != nullptr);
    QVERIFY(!label->text().isEmpty());
    QVERIFY(label->text() != "Blah blah blah");
    QVERIFY(!dialog.repairButton()->isEnabled());
    QVERIFY(!dialog.cancelButton()->isEnabled());

    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
    QCOMPARE(session.outcome(), CheckOutcome::kClean);
    QCOMPARE(dialog.lines(), (QStringList{"Jukepak integrity checker - V0.01",
                                          "Device found [9.76MB]- reading header...",
                                          "Clusters used: 5 - %00 of drive"}));
    QCOMPARE(dialog.windowTitle(), "Filesystem is OK");
    QCOMPARE(prompts.boxes, (Boxes{{"Filesystem is OK", "Done", true}}));
    QVERIFY2(!dialog.isVisible(), "the run's end closes the dialog");
    QVERIFY(!dialog.repairButton()->isEnabled());
    session.Stop();
    QVERIFY(device.contents() == before);
    QVERIFY2(device.closeCount() == 0, "Close is the caller's, after the worker");
  }

  void repairButtonRunsTheRepairPass() {
    AddCdWithTrack("A");
    Damage();
    const auto before = device.contents();
    VolmendSession session(&device, &prompts);
    prompts.dialog = &session.dialog();
    VolmendDialog& dialog = session.dialog();
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return dialog.repairButton()->isEnabled(); }, kWaitMs));
    QVERIFY(dialog.cancelButton()->isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return dialog.windowTitle() == "Repair?"; }, kWaitMs));
    QVERIFY(dialog.lines().contains("8KB in damaged files/lost chains"));
    QVERIFY(prompts.boxes.empty());

    QTest::mouseClick(dialog.repairButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
    QCOMPARE(session.outcome(), CheckOutcome::kRepaired);
    const QStringList lines = dialog.lines();
    const qsizetype repairing = lines.indexOf("Repairing...");
    QVERIFY(repairing > 2);
    QCOMPARE(lines[repairing - 1], "");
    QCOMPARE(lines[repairing - 2], "");
    QCOMPARE(lines[repairing + 1], "");
    QCOMPARE(lines.mid(repairing + 2, 2),
             (QStringList{"8KB in damaged files/lost chains", "Clusters used: 5 - %00 of drive"}));
    QCOMPARE(prompts.boxes, (Boxes{{"Repairs complete", "Done", true}}));
    session.Stop();
    QCOMPARE(CheckAgain(), CheckOutcome::kClean);

    // The choice was on: the last line names the undo file, which gives the
    // disk back as it was before the repair.
    QVERIFY2(!dialog.keepUndoBox()->isEnabled(), "the choice is fixed once Repair is pressed");
    QCOMPARE(UndoFiles().size(), qsizetype(1));
    QVERIFY2(UndoFiles()[0].endsWith("-player-volmend.undo"), qPrintable(UndoFiles()[0]));
    QCOMPARE(lines.back().left(11), "Undo file: ");
    QVERIFY2(lines.back().contains(session.undoFile()), qPrintable(lines.back()));
    std::unique_ptr<jukepak::undo::FileUndoStore> file;
    QVERIFY(jukepak::undo::FileUndoStore::Open(session.undoFile().toStdString(), &file).ok());
    jukepak::undo::UndoReport report;
    QVERIFY(jukepak::undo::RestoreUndoFile(device, *file, false, &report).ok());
    QCOMPARE(report.refusal, jukepak::undo::UndoRefusal::kNone);
    QVERIFY(device.contents() == before);
  }

  // Without the choice, or without a write, no undo file is made.
  void noUndoFileWithoutTheChoiceOrWithoutAWrite_data() {
    QTest::addColumn<bool>("keep");
    QTest::newRow("not kept, repaired") << false;
    QTest::newRow("kept, cancelled") << true;
  }
  void noUndoFileWithoutTheChoiceOrWithoutAWrite() {
    QFETCH(bool, keep);
    Damage();
    VolmendSession session(&device, &prompts);
    VolmendDialog& dialog = session.dialog();
    dialog.keepUndoBox()->setChecked(keep);
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return dialog.repairButton()->isEnabled(); }, kWaitMs));
    QTest::mouseClick(keep ? dialog.cancelButton() : dialog.repairButton(), Qt::LeftButton);
    if (!keep) QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
    session.Stop();
    QCOMPARE(session.outcome(), keep ? CheckOutcome::kCancelled : CheckOutcome::kRepaired);
    QVERIFY(session.undoFile().isEmpty());
    QVERIFY(UndoFiles().isEmpty());
    QVERIFY2(!dialog.lines().join("\n").contains("Undo file"), qPrintable(dialog.lines().join("\n")));
  }

  // An undo file that cannot be made fails the repair before its first
  // write, and the report says why.
  void undoFileThatCannotBeMadeStopsTheRepairBeforeItWrites() {
    Damage();
    const auto before = device.contents();
    const std::string blocker = data_home_.toStdString() + "/a-file";
    QVERIFY(QDir().mkpath(data_home_));
    std::ofstream(blocker) << "not a folder";
    VolmendSession session(&device, &prompts, QString::fromStdString(blocker + "/undo"));
    prompts.dialog = &session.dialog();
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return session.dialog().repairButton()->isEnabled(); }, kWaitMs));
    QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
    QCOMPARE(session.outcome(), CheckOutcome::kCommunicationsError);
    QVERIFY(device.contents() == before);
    QCOMPARE(session.dialog().lines().back(),
             QString::fromStdString("No undo file could be made, so nothing was written: cannot "
                                    "create the folder " + blocker + "/undo for the undo file"));
  }

  void cancelAtTheQuestionEndsTheRunAndWritesNothing() {
    Damage();
    const auto before = device.contents();
    VolmendSession session(&device, &prompts);
    VolmendDialog& dialog = session.dialog();
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return dialog.cancelButton()->isEnabled(); }, kWaitMs));
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    session.Stop();
    QVERIFY(session.workerFinished());
    QCOMPARE(session.outcome(), CheckOutcome::kCancelled);
    QVERIFY(prompts.boxes.empty());
    QVERIFY(device.contents() == before);
  }

  void stopRequestIsNeverOverwrittenByARepairRequest() {
    Damage();
    const auto before = device.contents();
    VolmendSession session(&device, &prompts);
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return session.dialog().repairButton()->isEnabled(); }, kWaitMs));
    session.RequestStop();
    session.RequestRepair();  // too late: the stop stands
    QCOMPARE(session.state(), volmend::kStopRequested);
    QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
    QCOMPARE(session.outcome(), CheckOutcome::kCancelled);
    QVERIFY(device.contents() == before);
  }

  void windowWaitsForABusyWorkerWithoutBlockingItsCalls() {
    AddCdWithTrack("A");
    // Every read is held until released, so the worker is busy when the window closes.
    ScriptedDevice gated(&device);
    gated.Hold(Op::kRead);
    VolmendSession session(&gated, &prompts);
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return gated.holding(); }, kWaitMs));  // inside the header read
    session.dialog().reject();  // the user closes the window
    // The worker finishes its read, then reports the drive (handed to the
    // waiting window thread) and stops at its first stop check.
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      gated.Release();
    });
    session.Stop();
    release.join();
    QVERIFY(session.workerFinished());
    QCOMPARE(session.outcome(), CheckOutcome::kCancelled);
    // The header, the CD run, one FAT sector, then the stop check.
    QCOMPARE(gated.callCount(Op::kRead), uint64_t(3));
    QVERIFY(prompts.boxes.empty());
  }

  void reinitializeQuestionDecides() {
    volume.header().setFatStart(3);
    QVERIFY(volume.WriteHeader().ok());
    const uint8_t zeros[512] = {};  // and no FAT that a rebuilt header could agree with
    QVERIFY(device.Write(4, 1, zeros).ok());
    const auto before = device.contents();
    {
      // The real question: Enter answers No, and the button said what it offers.
      volmend::MessageBoxPrompts boxes;
      VolmendSession session(&device, &boxes);
      session.Start();
      QVERIFY(QTest::qWaitFor([&] { return session.dialog().repairButton()->isEnabled(); }, kWaitMs));
      QCOMPARE(session.dialog().repairButton()->text(), "Reinitialize...");
      QString asked;
      frontend::testing::HandleNextDialog([&](QDialog* box) {
        asked = static_cast<QMessageBox*>(box)->text();
        QWidget* focus = box->focusWidget();
        QTest::keyClick(focus != nullptr ? focus : box, Qt::Key_Return);
      });
      QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
      QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
      QCOMPARE(asked, QString(jukepak::checker::kReinitializeQuestion));
      QCOMPARE(session.outcome(), CheckOutcome::kLeft);
      QVERIFY(device.contents() == before);
    }
    for (bool yes : {false, true}) {
      ScriptedPrompts answers;
      answers.answerYes = yes;
      VolmendSession session(&device, &answers);
      answers.dialog = &session.dialog();
      session.Start();
      QVERIFY(QTest::qWaitFor([&] { return session.dialog().repairButton()->isEnabled(); }, kWaitMs));
      QCOMPARE(session.dialog().lines().back(),
               "Fatal errors detected - filesystem will require reinitializing.");
      QTest::mouseClick(session.dialog().repairButton(), Qt::LeftButton);
      QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
      if (!yes) {
        QCOMPARE(answers.boxes, Boxes{kReinitializeQuestion});
        QCOMPARE(session.outcome(), CheckOutcome::kLeft);
        QVERIFY(device.contents() == before);
      } else {
        QCOMPARE(answers.boxes, (Boxes{kReinitializeQuestion, {"Filesystem reinitialized", "Ok", true}}));
        QCOMPARE(session.outcome(), CheckOutcome::kReinitialized);
      }
    }
    QCOMPARE(CheckAgain(), CheckOutcome::kClean);
  }

  void communicationsFailureIsShownAndEndsTheRun() {
    FaultDevice faulty(&device);
    faulty.plan().FailReadCallsFrom(3, Repeat::kOnce);
    VolmendSession session(&faulty, &prompts);
    prompts.dialog = &session.dialog();
    session.Start();
    QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, kWaitMs));
    QCOMPARE(session.outcome(), CheckOutcome::kCommunicationsError);
    QCOMPARE(prompts.boxes, (Boxes{{"Communications Error!", "Error", true}}));
    QVERIFY(!session.dialog().isVisible());
  }

  // --- disks that must not be written: Volmend over diskimage.dld ---

  void readOnlyImageIsNotReinitializedAndSaysWhy() {
    const QString file = frontend::testing::MakeImage("disk.img", 20000);
    QVERIFY(!file.isEmpty());
    QCOMPARE(chmod(file.toLocal8Bit().constData(), 0444), 0);
    QCOMPARE(RepairThrough(file), CheckOutcome::kLeft);
    QCOMPARE(prompts.boxes,
             (Boxes{kReinitializeQuestion,
                    {file.toStdString() + " is read-only (write-protected: mode 0444); nothing "
                                          "is written to it",
                     "Error", true}}));
    QFile image(file);
    QVERIFY(image.open(QIODevice::ReadOnly));
    QVERIFY(image.readAll() == QByteArray(20000 * 512, '\0'));
  }

  void fileSystemIsReinitializedOnlyAfterASecondYes() {
    const QString file = frontend::testing::MakeImage("disk.img", 20000);
    if (!jukepak::testing::MakeExt4FileSystem(file.toStdString())) {
      QSKIP(jukepak::testing::kNoMkfsExt4);
    }
    jukepak::testing::LoopDevice loop(file.toStdString());
    if (!loop.ok()) QSKIP(("no loop device on this machine: " + loop.error()).c_str());
    qunsetenv(jukepak::kForceDiskVariable);
    QFile image(file);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray before = image.readAll();
    image.close();
    const QString disk = QString::fromStdString(loop.path());
    prompts.answers = {true, false};
    QCOMPARE(RepairThrough(disk), CheckOutcome::kLeft);
    const std::string question = jukepak::ForeignDiskQuestion(
        loop.path(), loop.path() + " holds an ext4 file system; not touched");
    QCOMPARE(prompts.boxes, (Boxes{kReinitializeQuestion, {question, "Volmend", true}}));
    QVERIFY(image.open(QIODevice::ReadOnly));
    QVERIFY(image.readAll() == before);
    image.close();

    prompts.boxes.clear();
    prompts.answers = {true, true};
    QCOMPARE(RepairThrough(disk), CheckOutcome::kReinitialized);
  }
};

int main(int argc, char** argv) {
  frontend::testing::IsolateUserFolders();
  QApplication app(argc, argv);
  VolmendWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "volmend_window_test.moc"
