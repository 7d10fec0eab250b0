// The main window driven as a user drives it: start-up in each device state,
// initialize, sync, options, the busy notice, keys that must not close it.

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>

#include "app/about_box.h"
#include "app/dlg_copy_progress.h"
#include "app/dlg_drivers.h"
#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "driver/foreign_disk_guard.h"
#include "driver/image_write_consent.h"
#include "driver/tests/loop_device.h"
#include "frontend/qsettings_store.h"
#include "window_test_support.h"

using namespace songlift;
using frontend::MessageBoxes;
using frontend::Options;
using jukepak::BusyState;
using jukepak::DeviceState;

namespace {

struct Enabled {
  bool import_, sync, check, initialize, driver, learn, options;
};

Enabled EnabledOf(const CSongliftDlg& w) {
  return {w.importButton()->isEnabled(), w.syncButton()->isEnabled(),
          w.checkButton()->isEnabled(),  w.initializeButton()->isEnabled(),
          w.driverButton()->isEnabled(), w.learnRemoteButton()->isEnabled(),
          w.optionsButton()->isEnabled()};
}

bool Same(const Enabled& a, const Enabled& b) {
  return a.import_ == b.import_ && a.sync == b.sync && a.check == b.check &&
         a.initialize == b.initialize && a.driver == b.driver && a.learn == b.learn &&
         a.options == b.options;
}

// The app with the window shown; waits until the first job has ended.
struct Running {
  explicit Running(const QString& driver_override) : app(driver_override) {
    window = app.Start();
    window->show();
    QTRY_VERIFY_WITH_TIMEOUT(app.volume().busyState() == BusyState::kIdle, 10000);
    QVERIFY(testing::WaitForIdleWindow(*window));
  }
  ~Running() {
    window->close();
    app.volume().UnbindDriver();
  }
  SongliftApp app;
  CSongliftDlg* window = nullptr;
};

// Initializes the volume with the window's button (the question is
// answered Yes) and waits until the mount that follows has ended.
void InitializeThroughTheWindow(Running& run, testing::ScriptedBoxes& boxes) {
  boxes.AnswerNext(MessageBoxes::Answer::kYes);
  run.window->initializeButton()->click();
  QTRY_COMPARE_WITH_TIMEOUT(run.app.volume().deviceState(), DeviceState::kReady, 10000);
  QTRY_COMPARE(run.app.volume().busyState(), BusyState::kIdle);
  QVERIFY(testing::WaitForIdleWindow(*run.window));
}

// Chooses the module at `path` in the Driver dialog, as a user does.
void ChooseDriver(Running& run, const QString& path) {
  bool listed = false;
  testing::HandleNextDialog([&](QDialog* dialog) {
    QListWidget* list = static_cast<DlgDrivers*>(dialog)->driverList();
    for (int row = 0; row < list->count(); ++row) {
      if (list->item(row)->toolTip() != path) continue;
      list->setCurrentRow(row);
      listed = true;
    }
    QTest::mouseClick(static_cast<DlgDrivers*>(dialog)->okButton(), Qt::LeftButton);
  });
  run.window->driverButton()->click();
  QVERIFY2(listed, qPrintable(path + " is not in the Driver dialog"));
  QTRY_COMPARE_WITH_TIMEOUT(run.app.volume().busyState(), BusyState::kIdle, 10000);
  QVERIFY(testing::WaitForIdleWindow(*run.window));
}

}  // namespace

class SongliftWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    frontend::QSettingsStore().WriteDriver("");
    frontend::QSettingsStore().WriteOptions(Options{});
    qunsetenv("JUKEPAK_IMAGE");
    qunsetenv(jukepak::kForceDiskVariable);
  }

  void startsWithOnlyDriverAndOptionsWhenNoDriverLoads() {
    const struct {
      QString driver;
      QString status;
      size_t boxes;
    } cases[] = {
        {"", "No driver chosen: choose the player's module with Driver", 0},
        {"/nonexistent/module.dld",
         "No driver: connect the player and choose its module again with Driver", 1},
    };
    for (const auto& c : cases) {
      frontend::QSettingsStore().WriteDriver(c.driver.toStdString());
      testing::ScriptedBoxes boxes;
      Running run{QString()};
      QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoDriver);
      QVERIFY(Same(EnabledOf(*run.window), {false, false, false, false, true, false, true}));
      QVERIFY(!run.window->deleteButton()->isEnabled());
      QCOMPARE(run.window->statusLabel()->text(), c.status);
      QTRY_COMPARE(boxes.shown.size(), c.boxes);
      if (c.boxes != 0) QVERIFY(boxes.shown[0].text.contains(c.driver));
    }
  }

  // A module that fails to open (a pulled cable), then a working one: the
  // mount follows at once and the blank disk can be initialized.
  void aFailedDriverThenAWorkingOneLeadsToInitialize() {
    const QString module = testing::BuiltModule("diskimage.dld");
    const QString image = testing::MakeImage("driver.img", 20000);
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    testing::ScriptedBoxes boxes;
    Running run(module);
    InitializeThroughTheWindow(run, boxes);
    if (QTest::currentTestFailed()) return;
    run.window->RefreshSizeLabels();
    QCOMPARE(run.window->freeSpaceLabel()->text(), QString("9.74 Mb"));

    qputenv("JUKEPAK_IMAGE", (image + ".missing").toLocal8Bit());
    ChooseDriver(run, module);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoDriver);
    QVERIFY(boxes.shown.back().text.startsWith("The driver module " + module + " could not be used:\n"));
    QCOMPARE(run.window->statusLabel()->text(),
             QString("No driver: connect the player and choose its module again with Driver"));
    QCOMPARE(run.window->freeSpaceLabel()->text(), QString("0.00 Mb"));
    QVERIFY(!run.window->initializeButton()->isEnabled());

    qputenv("JUKEPAK_IMAGE", testing::MakeImage("blank.img", 20000).toLocal8Bit());
    ChooseDriver(run, module);
    if (QTest::currentTestFailed()) return;
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoVolume);
    QCOMPARE(run.window->statusLabel()->text(),
             QString("No player volume found: Initialize File System creates one; Volmend can "
                     "check it"));
    QVERIFY(Same(EnabledOf(*run.window), {false, false, false, true, true, false, true}));
    InitializeThroughTheWindow(run, boxes);
    QVERIFY(run.window->statusLabel()->text().startsWith("Ready; Undo file: "));
  }

  void offersInitializeAndDriverForABlankImage() {
    const QString image = testing::MakeImage("blank.img", 20000);
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    Running run(testing::BuiltModule("diskimage.dld"));
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoVolume);
    QVERIFY(Same(EnabledOf(*run.window), {false, false, false, true, true, false, true}));
  }

  void initializesAfterConfirmationAndMounts() {
    const QString image = testing::MakeImage("init.img", 20000);
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    testing::ScriptedBoxes boxes;
    Running run(testing::BuiltModule("diskimage.dld"));

    run.window->initializeButton()->click();  // the default, No, changes nothing
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoVolume);
    QCOMPARE(boxes.shown.back().text,
             QString("The drive holds no player volume. This writes a new, empty one over the "
                     "whole drive; whatever the drive holds now is lost.\nDo you wish to proceed?"));
    QCOMPARE(boxes.shown.back().choice, QString("Keep an undo file"));

    boxes.AnswerNext(MessageBoxes::Answer::kYes);
    boxes.CheckNext(false);  // no undo file: the status line says only "Ready"
    run.window->initializeButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(run.app.volume().deviceState(), DeviceState::kReady, 10000);
    QTRY_COMPARE(run.app.volume().busyState(), BusyState::kIdle);
    QVERIFY(testing::WaitForIdleWindow(*run.window));
    QCOMPARE(run.window->statusLabel()->text(), QString("Ready"));
    QVERIFY(Same(EnabledOf(*run.window), {true, true, true, true, true, true, true}));
    QCOMPARE(run.window->playerTree()->topLevelItemCount(), 0);
    run.window->RefreshSizeLabels();
    QCOMPARE(run.window->downloadSizeLabel()->text(), QString("0.00 Mb"));
    // 20,000 sectors: 1,249 clusters less the placeholder's two, 8 KB each = 9,976 KB.
    QCOMPARE(run.window->freeSpaceLabel()->text(), QString("9.74 Mb"));
  }

  // A CD run that does not end at the end of the audio area: the directory
  // is shown, but sync and remote learning stay off.
  void aMisplacedCdRunIsShownReadOnly() {
    const QString image = testing::MakeImage("misplaced.img", 20000);
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    {
      testing::ScriptedBoxes boxes;
      Running run(testing::BuiltModule("diskimage.dld"));
      InitializeThroughTheWindow(run, boxes);
      if (QTest::currentTestFailed()) return;
    }
    // One empty CD record 40 sectors below the audio area's end (sector 20000).
    QFile file(image);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const char fields[8] = {char(0xF8), 0x4D, 0, 0, 1, 0, 0, 0};  // cdStart 19960, cdCount 1
    QVERIFY(file.seek(48) && file.write(fields, 8) == 8);
    QVERIFY(file.seek(qint64(19960) * 512) && file.write("MPCD", 4) == 4);
    file.close();

    Running run(testing::BuiltModule("diskimage.dld"));
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kReady);
    QCOMPARE(run.window->statusLabel()->text(), QString(jukepak::kDamagedDirectory));
    QCOMPARE(run.window->playerTree()->topLevelItemCount(), 1);
    QVERIFY(Same(EnabledOf(*run.window), {true, false, true, true, true, false, true}));
  }

  void initializeTellsWhyAReadOnlyImageIsNotWritten() {
    const QString image = testing::MakeImage("read-only.img", 20000);
    QVERIFY(QFile::setPermissions(image, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    testing::ScriptedBoxes boxes;
    Running run(testing::BuiltModule("diskimage.dld"));
    boxes.AnswerNext(MessageBoxes::Answer::kYes);
    run.window->initializeButton()->click();  // Yes to the question, then the refusal
    QCOMPARE(boxes.shown.back().text,
             image + " is read-only (write-protected: mode 0444); nothing is written to it");
    QCOMPARE(run.app.volume().busyState(), BusyState::kIdle);
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoVolume);
  }

  void initializeAsksASecondTimeBeforeWritingOverAFileSystem() {
    const QString file = testing::MakeImage("ext4.img", 20000);
    if (!jukepak::testing::MakeExt4FileSystem(file.toStdString())) {
      QSKIP(jukepak::testing::kNoMkfsExt4);
    }
    jukepak::testing::LoopDevice loop(file.toStdString());
    if (!loop.ok()) QSKIP(("no loop device on this machine: " + loop.error()).c_str());
    const QString disk = QString::fromStdString(loop.path());
    qputenv("JUKEPAK_IMAGE", disk.toLocal8Bit());
    testing::ScriptedBoxes boxes;
    Running run(testing::BuiltModule("diskimage.dld"));
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoVolume);

    boxes.AnswerNext(MessageBoxes::Answer::kYes);
    run.window->initializeButton()->click();  // Yes, then the second box's default, No
    const QString question = QString::fromStdString(jukepak::ForeignDiskQuestion(
        loop.path(), loop.path() + " holds an ext4 file system; not touched"));
    QCOMPARE(boxes.shown.back().text, question);
    QCOMPARE(run.app.volume().busyState(), BusyState::kIdle);
    QCOMPARE(run.app.volume().deviceState(), DeviceState::kNoVolume);

    boxes.AnswerNext(MessageBoxes::Answer::kYes);  // and Yes to the second question
    InitializeThroughTheWindow(run, boxes);
  }

  void syncWithNothingPendingShowsAndHidesTheProgressWindow() {
    const QString image = testing::MakeImage("sync.img", 20000);
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    testing::ScriptedBoxes boxes;
    Running run(testing::BuiltModule("diskimage.dld"));
    InitializeThroughTheWindow(run, boxes);
    if (QTest::currentTestFailed()) return;
    DlgCopyProgress* progress = run.window->copyProgress();
    run.window->syncButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(run.app.volume().busyState(), BusyState::kIdle, 10000);
    QVERIFY(testing::WaitForIdleWindow(*run.window));
    QTRY_VERIFY(!progress->isVisible());
    QCOMPARE(run.window->statusLabel()->text(), QString("Ready"));
    run.window->syncButton()->click();  // a second sync reuses the same window
    QTRY_COMPARE_WITH_TIMEOUT(run.app.volume().busyState(), BusyState::kIdle, 10000);
    QVERIFY(testing::WaitForIdleWindow(*run.window));
    QCOMPARE(run.window->copyProgress(), progress);
  }

  void thePlayerBusyNoticeFollowsTheOption() {
    Running run{QString()};  // no driver: the player is never idle
    testing::ScriptedBoxes boxes;
    run.app.options().notifyBusy = 1;
    QVERIFY(!run.window->IsPlayerIdle("You may not move a track on the player right now."));
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].caption, QString("Player Busy"));
    QCOMPARE(boxes.shown[0].text, QString("You may not move a track on the player right now."));
    run.app.options().notifyBusy = 0;
    QVERIFY(!run.window->IsPlayerIdle("You may not move a track on the player right now."));
    QCOMPARE(boxes.shown.size(), size_t(1));
  }

  void optionsPersistAcrossARestart() {
    {
      Running run{QString()};
      QCOMPARE(run.app.options().confirmDelete, 1);  // first run: all on
      QCOMPARE(run.app.options().notifyBusy, 1);
      QCOMPARE(run.app.options().notifyDuplicate, 1);
      Options changed{1, 0, 0};
      run.app.options() = changed;
      frontend::QSettingsStore().WriteOptions(changed);
    }
    Running again{QString()};
    QCOMPARE(again.app.options().confirmDelete, 1);
    QCOMPARE(again.app.options().notifyBusy, 0);
    QCOMPARE(again.app.options().notifyDuplicate, 0);
  }

  void theWindowAndTheAboutBoxHaveTheIcon() {
    Running run{QString()};
    QVERIFY(!run.window->windowIcon().pixmap(32, 32).isNull());
    AboutBox about(run.window);
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(),
                        [](const QLabel* label) { return !label->pixmap().isNull(); }));
  }

  void enterAndEscapeDoNotCloseTheWindow() {
    Running run{QString()};
    QTest::keyClick(run.window, Qt::Key_Escape);
    QTest::keyClick(run.window, Qt::Key_Return);
    QVERIFY(run.window->isVisible());
  }
};

int main(int argc, char** argv) {
  testing::IsolateUserFolders();
  QApplication application(argc, argv);
  SongliftWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "songlift_window_test.moc"
