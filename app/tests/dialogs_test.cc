// The dialogs on their own: driver choice, remote learning, confirmation,
// rename limits, the progress window, import, options.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/dlg_confirm_delete.h"
#include "app/dlg_copy_progress.h"
#include "app/dlg_drivers.h"
#include "app/dlg_import.h"
#include "app/dlg_ir.h"
#include "app/dlg_options.h"
#include "app/dlg_rename.h"
#include "format/remote_code_table.h"
#include "frontend/qsettings_store.h"
#include "testing/memory_device.h"
#include "window_test_support.h"

using namespace songlift;
using frontend::MessageBoxes;
using frontend::Options;

namespace {

struct ReadyVolume {
  ReadyVolume() : disk(20000), volume(&reporter) {
    if (!volume.BindDevice(std::make_unique<jukepak::ForwardingDevice>(&disk)).ok()) {
      qFatal("cannot bind the test disk");
    }
    (void)volume.RunJobNow(jukepak::Job::kInit);
  }
  jukepak::MemoryDevice disk;
  jukepak::QuietReporter reporter;
  jukepak::PlayerVolume volume;
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void driversArePreselectedByExactPathOnly() {
    const std::vector<jukepak::DriverCandidate> candidates = {
        {"Disk Image", "/opt/a/diskimage.dld"}, {"Disk Image", "/opt/b/diskimage.dld"}};
    DlgDrivers exact("/opt/b/diskimage.dld", candidates);
    QCOMPARE(exact.driverList()->count(), 2);
    QCOMPARE(exact.driverList()->currentRow(), 1);
    QVERIFY(exact.okButton()->isEnabled());
    exact.accept();
    QCOMPARE(exact.selectedPath(), QString("/opt/b/diskimage.dld"));

    DlgDrivers other_case("/opt/A/diskimage.dld", candidates);
    QCOMPARE(other_case.driverList()->currentItem(), nullptr);
    QVERIFY(!other_case.okButton()->isEnabled());
    other_case.driverList()->setCurrentRow(0);
    QVERIFY(other_case.okButton()->isEnabled());
    other_case.accept();
    QCOMPARE(other_case.selectedPath(), QString("/opt/a/diskimage.dld"));

    // A module that cannot run here is listed greyed with its reason and cannot be chosen.
    DlgDrivers port("/opt/p/portlink.dld",
                    {{"Parallel Port", "/opt/p/portlink.dld", "no parallel port found"},
                     {"Disk Image", "/opt/a/diskimage.dld"}});
    QCOMPARE(port.driverList()->item(0)->text(),
             QString("Parallel Port (not usable: no parallel port found)"));
    QVERIFY(!(port.driverList()->item(0)->flags() & Qt::ItemIsEnabled));
    QCOMPARE(port.driverList()->currentItem(), nullptr);
    QTest::mouseClick(port.driverList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      port.driverList()->visualItemRect(port.driverList()->item(0)).center());
    QVERIFY(!port.okButton()->isEnabled());

    DlgDrivers none("", {});
    QVERIFY(!none.okButton()->isEnabled());
    none.accept();  // nothing selected: stays open, keeps the path
    QCOMPARE(none.result(), int(QDialog::Rejected));
  }

  void remoteLearningOpensWithoutConflictsOnAFreshVolume() {
    ReadyVolume v;
    DlgIr dialog(&v.volume, true);
    QCOMPARE(dialog.functionButton(1)->text(), QString("&Play/Stop"));
    QCOMPARE(dialog.functionButton(6)->text(), QString("Up"));
    for (int n = 1; n <= 16; ++n) QVERIFY(!dialog.functionButton(n)->text().contains('\n'));
  }

  void aCodeIsTaughtShownOnConflictAndWrittenOnOk() {
    ReadyVolume v;
    v.volume.SetRemoteCode(120, 0xABCDEF01);  // a stray slot the next OK erases
    v.disk.PressRemoteButton(999);              // pressed before the dialog opened: not taken
    testing::ScriptedBoxes boxes;
    DlgIr dialog(&v.volume, true);
    dialog.PollRemote();  // no function waits: a code would be dropped
    QCOMPARE(dialog.learningFunction(), 0);

    dialog.functionButton(2)->click();  // Volume up takes Volume down's code
    QCOMPARE(dialog.learningFunction(), 2);
    dialog.PollRemote();  // nothing received yet
    QCOMPARE(dialog.learningFunction(), 2);
    v.disk.PressRemoteButton(0x3202);
    dialog.PollRemote();
    QCOMPARE(dialog.learningFunction(), 0);
    QCOMPARE(dialog.functionButton(2)->text(), QString("&Up\n12802"));
    QCOMPARE(dialog.functionButton(3)->text(), QString("&Down\n12802"));

    dialog.functionButton(2)->click();
    v.disk.PressRemoteButton(258);
    dialog.PollRemote();
    QCOMPARE(dialog.functionButton(2)->text(), QString("&Up"));
    QCOMPARE(dialog.functionButton(3)->text(), QString("&Down"));

    const uint64_t writes = v.disk.writeCalls();
    dialog.accept();
    QCOMPARE(v.disk.writeCalls(), writes + 2);  // the header: sector 1, then sector 0
    const uint8_t* table = v.disk.sector(1);
    QCOMPARE(int(table[4]), 1);  // function 2's slot: 258 high byte first, then 2
    QCOMPARE(int(table[5]), 2);
    QCOMPARE(int(table[6]), 2);
    for (int slot = 16; slot < 128; ++slot) {
      QCOMPARE(jukepak::LoadLe32(table + 4 * slot), 0u);
    }
    QVERIFY(boxes.shown.empty());
  }

  void duplicatesAreWarnedAboutUnlessTheOptionIsOff() {
    ReadyVolume v;
    testing::ScriptedBoxes boxes;
    {
      DlgIr dialog(&v.volume, true);
      dialog.functionButton(2)->click();
      v.disk.PressRemoteButton(0x3202);
      dialog.PollRemote();
      const uint64_t writes = v.disk.writeCalls();
      boxes.AnswerNext(MessageBoxes::Answer::kCancel);
      dialog.accept();
      QCOMPARE(boxes.shown.size(), size_t(1));
      QCOMPARE(boxes.shown[0].caption, QString("Duplicate Assignment"));
      QCOMPARE(v.disk.writeCalls(), writes);  // Cancel saves nothing and keeps it open
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
      dialog.accept();  // OK in the warning saves
      QCOMPARE(v.disk.writeCalls(), writes + 2);
    }
    boxes.shown.clear();
    DlgIr quiet(&v.volume, false);
    quiet.accept();  // still conflicting, saved without a word
    QVERIFY(boxes.shown.empty());
  }

  void cancelInTheLearningDialogWritesNothing() {
    ReadyVolume v;
    const uint32_t before = v.volume.GetRemoteCode(0);
    const uint64_t writes = v.disk.writeCalls();
    DlgIr dialog(&v.volume, true);
    dialog.functionButton(1)->click();
    v.disk.PressRemoteButton(4242);
    dialog.PollRemote();
    dialog.reject();
    QCOMPARE(v.disk.writeCalls(), writes);
    QCOMPARE(v.volume.GetRemoteCode(0), before);
  }

  void confirmationShowsTheNameOrTheCount() {
    DlgConfirmDelete one(1, "Band / Album");
    QCOMPARE(one.secondLine(), QString("Band / Album"));
    DlgConfirmDelete many(12, "ignored");
    QCOMPARE(many.secondLine(), QString("these 12 files"));
  }

  void renameFieldsTakeAtMost47Characters() {
    DlgRename dialog("Change Track Information", "Artist", "Title");
    QCOMPARE(dialog.windowTitle(), QString("Change Track Information"));
    dialog.titleEdit()->clear();
    QTest::keyClicks(dialog.titleEdit(), QString(48, 'x'));
    QCOMPARE(dialog.title().size(), 47);
    QCOMPARE(dialog.artist(), QString("Artist"));
  }

  void theProgressWindowFollowsTheSync() {
    bool cancelled = false;
    DlgCopyProgress progress([&] { cancelled = true; });
    progress.show();
    progress.Start();
    jukepak::SyncProgress p;
    p.cd = 1, p.cds = 4, p.track = 1, p.tracks = 4, p.song = 1, p.songs = 12;
    p.title = "First", p.cluster = 2, p.clusters = 3;
    progress.ShowProgress(p);
    QCOMPARE(progress.listBar()->maximum(), 400);
    QCOMPARE(progress.songBar()->value(), 2);
    p.track = 2, p.song = 3, p.title = "Second", p.cluster = 0, p.clusters = 100000;
    progress.ShowProgress(p);  // more clusters than 16 bits hold
    QCOMPARE(progress.listBar()->value(), 25);
    QCOMPARE(progress.songLabel()->text(), QString("Second"));
    QCOMPARE(progress.songBar()->maximum(), 100000);
    QCOMPARE(progress.countLabel()->text(), QString("Song 3 of 12"));
    progress.reject();  // Cancel
    QVERIFY(cancelled);
    QVERIFY(!progress.isVisible());
  }

  void theRateAndTheTimeLeftComeFromTheBytes() {
    QCOMPARE(DlgCopyProgress::RateText(0, 1000, 1.0), QString());  // nothing written yet
    QCOMPARE(DlgCopyProgress::RateText(3'000'000, 12'000'000, 2.0), QString("1.5 MB/s, 0:06 left"));
    QCOMPARE(DlgCopyProgress::RateText(1'000'000, 151'000'000, 1.0), QString("1.0 MB/s, 2:30 left"));
  }

  void importOffersOnlyTheMp3Source() {
    QStringList added;
    QStringList offered = {"/music/song.mp3", "/music/other.flac"};
    DlgImport dialog([&](const QStringList& paths) { added << paths; }, nullptr,
                     [&](QWidget*) { return offered; });
    QCOMPARE(dialog.sources()->count(), 4);
    QCOMPARE(dialog.sources()->item(3)->text(), QString("Etc. ..."));
    QVERIFY(dialog.sources()->item(0)->flags() & Qt::ItemIsEnabled);
    for (int i = 1; i < 4; ++i) QVERIFY(!(dialog.sources()->item(i)->flags() & Qt::ItemIsEnabled));
    dialog.accept();
    QCOMPARE(added, (QStringList{"/music/song.mp3", "/music/other.flac"}));
    offered.clear();  // the file dialog cancelled: both close, nothing added
    DlgImport again([&](const QStringList& paths) { added << paths; }, nullptr,
                    [&](QWidget*) { return offered; });
    again.accept();
    QCOMPARE(again.result(), int(QDialog::Accepted));
    QCOMPARE(added.size(), 2);
  }

  void optionsShowAndReturnTheFlagsAndTheBitrate() {
    DlgOptions dialog(Options{1, 0, 1, 0, 1, 256});
    QVERIFY(dialog.confirmDeletes()->isChecked());
    QVERIFY(!dialog.notifyBusy()->isChecked());
    QVERIFY(!dialog.includeSubfolders()->isChecked());
    QVERIFY(dialog.skipDuplicates()->isChecked());
    QCOMPARE(dialog.bitrate()->currentText(), QString("256 kbit/s"));
    QCOMPARE(dialog.bitrate()->count(), 6);  // 128 to 320
    dialog.notifyDuplicate()->setChecked(false);
    dialog.includeSubfolders()->setChecked(true);
    dialog.skipDuplicates()->setChecked(false);
    dialog.bitrate()->setCurrentIndex(0);
    const Options back = dialog.options();
    QCOMPARE(back.confirmDelete, 1);
    QCOMPARE(back.notifyBusy, 0);
    QCOMPARE(back.notifyDuplicate, 0);
    QCOMPARE(back.includeSubfolders, 1);
    QCOMPARE(back.skipDuplicates, 0);
    QCOMPARE(back.bitrateKbps, 128);
    // New options default on (and 192 kbit/s); a stored bitrate out of range is not taken.
    const Options fresh = frontend::QSettingsStore().ReadOptions();
    QCOMPARE(fresh.includeSubfolders, 1);
    QCOMPARE(fresh.skipDuplicates, 1);
    QCOMPARE(fresh.bitrateKbps, 192);
    frontend::QSettingsStore().WriteOptions(Options{1, 1, 1, 1, 1, 999});
    QCOMPARE(frontend::QSettingsStore().ReadOptions().bitrateKbps, 192);
  }
};

int main(int argc, char** argv) {
  testing::IsolateUserFolders();
  QApplication application(argc, argv);
  DialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "dialogs_test.moc"
