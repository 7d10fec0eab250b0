// The pending tree and the sync as a user drives them: drops from the file
// manager, the size labels, the "too large" refusal, a sync with its
// progress window and a cancel, pending edits, and the repair behind the
// integrity check's question.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "app/dlg_confirm_delete.h"
#include "app/dlg_copy_progress.h"
#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "driver/bind_module.h"
#include "frontend/bind_player.h"
#include "frontend/qsettings_store.h"
#include "frontend/undo_choice.h"
#include "testing/scripted_device.h"
#include "undo/file_undo_store.h"
#include "undo/undo_restore.h"
#include "volume/pending_list.h"
#include "window_test_support.h"

using namespace songlift;
using frontend::MessageBoxes;
using frontend::Options;
using jukepak::BusyState;
using jukepak::DeviceState;
using jukepak::testing::DeviceCall;
using jukepak::testing::Op;
using jukepak::testing::ScriptedDevice;

namespace {

// An MPEG-1 Layer III file of about `bytes` bytes (128 kbit/s frames of 417
// bytes), with an ID3v1 tag when `album` is given.
QString WriteSong(const QString& path, int bytes, const char* title = nullptr,
                  const char* album = nullptr, int track = 0) {
  QByteArray data;
  while (data.size() + 417 <= bytes) {
    QByteArray frame(417, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x90);
    frame[3] = char(0x64);
    data += frame;
  }
  if (album != nullptr) {
    QByteArray tag(128, '\0');
    tag.replace(0, 3, "TAG");
    tag.replace(3, int(qstrlen(title)), title);
    tag.replace(33, 4, "Band");
    tag.replace(63, int(qstrlen(album)), album);
    tag[126] = char(track);
    data += tag;
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
  file.write(data);
  return path;
}

struct Ready {
  Ready() {
    image = testing::MakeImage("pending.img", 20000);
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    frontend::QSettingsStore().WriteOptions(Options{0, 1, 1});
    app = std::make_unique<SongliftApp>(testing::BuiltModule("diskimage.dld"));
    window = app->Start();
    window->show();
    testing::ScriptedBoxes yes;
    yes.AnswerNext(MessageBoxes::Answer::kYes);  // confirms the initialization
    window->initializeButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(app->volume().deviceState() == DeviceState::kReady, 10000);
    QTRY_VERIFY(app->volume().busyState() == BusyState::kIdle);
    QVERIFY(testing::WaitForIdleWindow(*window));
    folder = QDir(testing::IsolateUserFolders()).filePath("songs");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
  }
  ~Ready() {
    if (gate != nullptr) gate->Release();  // a failed check must not leave the worker held
    window->close();
    app->volume().UnbindDriver();
  }
  QTreeWidget* pending() const { return window->pendingTree(); }
  // The player again, through a device the test can hold the worker at.
  ScriptedDevice* Gate() {
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());  // the folders' isolation forgot it
    const std::string path = testing::BuiltModule("diskimage.dld").toStdString();
    if (!jukepak::BindModule(path, jukepak::RequiredEntries::kDevice, &module).ok()) {
      qFatal("cannot bind the module");
    }
    auto scripted = std::make_unique<ScriptedDevice>(module.get());
    gate = scripted.get();
    if (!app->volume().BindDevice(std::move(scripted)).ok()) qFatal("cannot open the module");
    window->RequestMount();
    if (!testing::WaitForIdleWindow(*window)) qFatal("no mount");
    return gate;
  }
  // `count` more writes pass; the ones after wait until the device is released.
  static void HoldAfterWrites(ScriptedDevice* device, int count) {
    device->ClearCalls();
    device->BeforeEach([device, count](const DeviceCall& call) -> std::optional<jukepak::Result> {
      if (call.op == Op::kWrite && call.number == uint64_t(count)) device->Hold(Op::kWrite);
      return std::nullopt;
    });
  }
  QString Song(const QString& name) const { return folder + "/" + name; }

  QString image;
  QString folder;
  std::unique_ptr<jukepak::DriverDevice> module;  // behind Gate()'s device; outlives the app
  ScriptedDevice* gate = nullptr;                  // the engine's, once Gate() bound it
  std::unique_ptr<SongliftApp> app;
  CSongliftDlg* window = nullptr;
};

}  // namespace

class PendingSyncTest : public QObject {
  Q_OBJECT
 private slots:
  void droppedFilesJoinTheirCdsAndShowInTheLabels() {
    Ready r;
    r.window->RefreshSizeLabels();
    QCOMPARE(r.window->downloadSizeLabel()->text(), QString("0.00 Mb"));
    // 133 clusters of audio and one for the CD record: 1,072 KB.
    WriteSong(r.Song("big.mp3"), 1080000);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(r.Song("big.mp3"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(r.window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(r.window, &drop);
    QCOMPARE(r.pending()->topLevelItemCount(), 1);
    QCOMPARE(r.pending()->topLevelItem(0)->text(0), QString("Unknown / New CD"));
    QCOMPARE(r.pending()->topLevelItem(0)->child(0)->text(0), QString("big.mp3"));
    QCOMPARE(r.window->downloadSizeLabel()->text(), QString("1.04 Mb"));

    WriteSong(r.Song("b.mp3"), 5000, "Second", "Album", 2);
    WriteSong(r.Song("a.mp3"), 5000, "First", "Album", 1);
    QDir().mkpath(r.Song("inner"));
    WriteSong(r.Song("inner/c.mp3"), 5000, "Third", "Album", 3);
    r.app->options().includeSubfolders = 0;
    r.window->DropPaths({r.folder});  // a folder: its MP3 files, named after it when untagged
    QCOMPARE(r.pending()->topLevelItemCount(), 2);
    QTreeWidgetItem* album = r.pending()->topLevelItem(1);
    QCOMPARE(album->text(0), QString("Band / Album"));
    QCOMPARE(album->childCount(), 2);
    QCOMPARE(album->child(0)->text(0), QString("First"));
    QCOMPARE(album->child(1)->text(0), QString("Second"));
    r.app->options().includeSubfolders = 1;  // "Include sub-folders" on
    r.window->DropPaths({r.folder});
    QCOMPARE(album->childCount(), 3);
    QCOMPARE(album->child(2)->text(0), QString("Third"));
  }

  void filesThatAreNotAddedAreListedInOneMessage() {
    Ready r;
    testing::ScriptedBoxes boxes;
    QFile notes(r.Song("notes.mp3"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a song\n");
    notes.close();
    WriteSong(r.Song("good.mp3"), 5000);
    r.window->DropPaths({r.Song("missing.mp3"), r.folder});
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].text, QString("These 2 files were not added:\n\n"
                                          "missing.mp3: Could not open file!\n"
                                          "notes.mp3: not an audio file"));
    QCOMPARE(r.pending()->topLevelItemCount(), 1);
    QCOMPARE(r.pending()->topLevelItem(0)->child(0)->text(0), QString("good.mp3"));
  }

  void anotherFormatIsConvertedAndAnEstimateUntilThen() {
    Ready r;
    testing::ScriptedBoxes boxes;
    // One second of 16-bit mono silence at 22.05 kHz.
    const auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    QByteArray wav = "RIFF" + le32(36 + 44100) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
                     le32(22050) + le32(44100) + le16(2) + le16(16) + "data" + le32(44100) +
                     QByteArray(44100, '\0');
    QFile file(r.Song("quiet.wav"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(wav);
    file.close();
    r.window->DropPaths({r.Song("quiet.wav")});
    QCOMPARE(boxes.shown.size(), size_t(0));
    QCOMPARE(r.pending()->topLevelItem(0)->child(0)->text(0),
             QString("quiet.wav  (~0.03 Mb, estimated)"));
    r.window->syncButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(r.app->volume().busyState(), BusyState::kIdle, 20000);
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    QCOMPARE(r.window->playerTree()->topLevelItem(0)->child(0)->text(0), QString("quiet.wav"));
    // The same song again is not written twice.
    r.window->DropPaths({r.Song("quiet.wav")});
    r.window->syncButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(r.app->volume().busyState(), BusyState::kIdle, 20000);
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    QCOMPARE(r.window->playerTree()->topLevelItem(0)->childCount(), 1);
    QCOMPARE(r.pending()->topLevelItemCount(), 0);
    QVERIFY(r.window->statusLabel()->text().contains("already on the player"));
  }

  void songsTooLargeForThePlayerAreRefused() {
    Ready r;
    testing::ScriptedBoxes boxes;
    WriteSong(r.Song("huge.mp3"), 11 * 1024 * 1024);
    r.window->DropPaths({r.Song("huge.mp3")});
    r.window->syncButton()->click();
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].text, QString("Your pending songs are too large for the player.  "
                                          "Please remove some songs from the pending list."));
    QCOMPARE(r.app->volume().busyState(), BusyState::kIdle);
    QCOMPARE(r.pending()->topLevelItemCount(), 1);
  }

  void aSongOnThePlayerNeedsNoRoomWhenDroppedAgain() {
    Ready r;
    testing::ScriptedBoxes boxes;
    WriteSong(r.Song("big.mp3"), 6 * 1024 * 1024, "Big", "Album", 1);  // fits once
    for (int sync = 0; sync < 2; ++sync) {
      r.window->DropPaths({r.Song("big.mp3")});
      r.window->syncButton()->click();
      QTRY_COMPARE_WITH_TIMEOUT(r.app->volume().busyState(), BusyState::kIdle, 20000);
      QVERIFY(testing::WaitForIdleWindow(*r.window));
    }
    QCOMPARE(boxes.shown.size(), size_t(0));
    QCOMPARE(r.pending()->topLevelItemCount(), 0);
    QCOMPARE(r.window->playerTree()->topLevelItem(0)->childCount(), 1);
  }

  void aSyncMovesTheSongsToThePlayer() {
    Ready r;
    WriteSong(r.Song("a.mp3"), 30000, "First", "Album", 1);
    WriteSong(r.Song("b.mp3"), 30000, "Second", "Album", 2);
    r.window->DropPaths({r.Song("b.mp3"), r.Song("a.mp3")});
    r.window->syncButton()->click();
    QVERIFY(r.window->copyProgress()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(r.app->volume().busyState(), BusyState::kIdle, 20000);
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    QTRY_VERIFY(!r.window->copyProgress()->isVisible());
    QCOMPARE(r.pending()->topLevelItemCount(), 0);
    QTreeWidget* player = r.window->playerTree();
    QCOMPARE(player->topLevelItemCount(), 1);
    QCOMPARE(player->topLevelItem(0)->text(0), QString("Band / Album"));
    QCOMPARE(player->topLevelItem(0)->childCount(), 2);
    QCOMPARE(player->topLevelItem(0)->child(0)->text(0), QString("First"));
    QCOMPARE(r.window->statusLabel()->text(), QString("Ready"));
  }

  void cancelStopsTheSyncAndLeavesTheSongPending() {
    Ready r;
    ScriptedDevice* gate = r.Gate();
    const uint32_t free_kb = r.app->volume().FreeKilobytes();
    WriteSong(r.Song("long.mp3"), 3 * 1024 * 1024);
    r.window->DropPaths({r.Song("long.mp3")});
    // The song's first piece of audio goes out; the worker waits at the next.
    Ready::HoldAfterWrites(gate, 1);
    r.window->syncButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(gate->holding(), 20000);
    DlgCopyProgress* progress = r.window->copyProgress();
    QTRY_VERIFY(progress->songBar()->value() > 0);  // the progress reached it
    // The free space follows the clusters written (one piece of 128, after
    // the cluster the new CD's record takes), not the whole song the sync has
    // taken its clusters for.
    QCOMPARE(r.window->freeSpaceLabel()->text(),
             QString::fromStdString(jukepak::SizeLabelText(free_kb - 8 - 128 * 8)));
    QCOMPARE(progress->countLabel()->text(), QString("Song 1 of 1"));
    QVERIFY(progress->rateLabel()->text().contains(" MB/s, "));
    progress->reject();  // Cancel
    gate->Release();
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    QCOMPARE(r.pending()->topLevelItemCount(), 1);  // still pending
    QCOMPARE(r.window->playerTree()->topLevelItem(0), nullptr);
    QVERIFY(!progress->isVisible());
    // The summary says what happened, in the sync's own words too.
    QVERIFY(r.window->syncSummary() != nullptr && r.window->syncSummary()->isVisible());
    QCOMPARE(r.window->syncSummary()->text(),
             QString("The sync was cancelled; 1 song stays pending.\nWritten: 0 songs\n"
                     "Left pending: 1 song"));
    // The next sync runs to its end.
    r.window->syncButton()->click();
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    QCOMPARE(r.pending()->topLevelItemCount(), 0);
    QCOMPARE(r.window->playerTree()->topLevelItemCount(), 1);
  }

  void aSyncsFailuresStayInTheLogAndItsSummaryNamesTheFiles() {
    Ready r;
    WriteSong(r.Song("a.mp3"), 30000, "First", "Album", 1);
    WriteSong(r.Song("gone.mp3"), 30000, "Second", "Album", 2);
    r.window->DropPaths({r.Song("a.mp3"), r.Song("gone.mp3")});
    QVERIFY(QFile::remove(r.Song("gone.mp3")));
    r.window->syncButton()->click();
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    const QString failure = "Could not open file! (" + r.Song("gone.mp3") + ")";
    QCOMPARE(r.window->statusLabel()->text(), failure);
    QCOMPARE(r.window->syncSummary()->text(),
             "Written: 1 song\nFailed: 1 song\n  " + r.Song("gone.mp3") +
                 ": Could not open file!\nLeft pending: 1 song");
    // The log keeps what the status line showed on the way.
    const QStringList log = r.window->log()->toPlainText().split('\n');
    for (const QString& line : {QString("Writing new tracks..."), QString("a.mp3"),
                                QString("gone.mp3"), failure, QString("Failed: 1 song")}) {
      QVERIFY2(log.contains(line), qPrintable(line));
    }
  }

  void closingDuringASyncAsksThenCancelsAndClosesAtItsEnd() {
    Ready r;
    ScriptedDevice* gate = r.Gate();
    WriteSong(r.Song("long.mp3"), 3 * 1024 * 1024);
    r.window->DropPaths({r.Song("long.mp3")});
    testing::ScriptedBoxes boxes;
    boxes.AnswerNext(MessageBoxes::Answer::kNo);
    Ready::HoldAfterWrites(gate, 1);
    r.window->syncButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(gate->holding(), 20000);  // the sync is surely running
    r.window->close();  // No: the window stays
    QVERIFY(r.window->isVisible());
    QCOMPARE(r.app->volume().busyState(), BusyState::kSync);
    QCOMPARE(boxes.shown.back().caption, QString("Songlift"));
    r.window->close();  // Yes: cancel after the cluster in hand; the window waits for the job
    QVERIFY(r.window->isVisible());
    QVERIFY(r.app->volume().CancelRequested());
    gate->Release();  // the window thread never waited: the worker ends on its own
    QTRY_VERIFY_WITH_TIMEOUT(!r.window->isVisible(), 20000);
    QCOMPARE(r.app->volume().busyState(), BusyState::kIdle);
    QCOMPARE(r.pending()->topLevelItemCount(), 1);
  }

  void pendingEntriesAreDeletedWithOrWithoutConfirmation() {
    Ready r;
    WriteSong(r.Song("a.mp3"), 5000, "First", "Album", 1);
    WriteSong(r.Song("b.mp3"), 5000, "Second", "Album", 2);
    r.window->DropPaths({r.Song("a.mp3"), r.Song("b.mp3")});
    r.pending()->setFocus();
    r.pending()->setCurrentItem(r.pending()->topLevelItem(0)->child(0));
    r.window->deleteButton()->click();  // ConfirmDelete off: at once
    QCOMPARE(r.pending()->topLevelItem(0)->childCount(), 1);
    r.app->options().confirmDelete = 1;
    int asked = 0;
    testing::HandleNextDialog([&](QDialog* dialog) {
      ++asked;
      dialog->accept();
    });
    r.pending()->setCurrentItem(r.pending()->topLevelItem(0)->child(0));
    r.window->deleteButton()->click();  // the CD's only song: the CD goes too
    QCOMPARE(asked, 1);
    QCOMPARE(r.pending()->topLevelItemCount(), 0);
  }

  void pendingEditsWaitWhileASyncRuns() {
    Ready r;
    WriteSong(r.Song("a.mp3"), 5000, "First", "Album", 1);
    r.window->DropPaths({r.Song("a.mp3")});
    testing::ScriptedBoxes boxes;
    r.window->SetBusyState(BusyState::kSync);  // as while a sync runs
    r.window->DeleteProposedItem(r.pending()->topLevelItem(0), false);
    QCOMPARE(r.pending()->topLevelItemCount(), 1);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].caption, QString("Player Busy"));
    r.window->SetBusyState(BusyState::kIdle);
  }

  void fixingTheFoundErrorsRepairsAndMountsAgain() {
    Ready r;
    WriteSong(r.Song("a.mp3"), 30000, "First", "Album", 1);
    r.window->DropPaths({r.Song("a.mp3")});
    r.window->syncButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(r.app->volume().busyState(), BusyState::kIdle, 20000);
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    // A leftover chain on the disk: a used cluster no track starts at.
    jukepak::PlayerVolume& volume = r.app->volume();
    volume.model().fat.set(700, 0x00FFFFFE);
    QVERIFY(volume.FlushFat().ok());
    QFile image(r.image);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray damaged = image.readAll();
    image.close();
    testing::ScriptedBoxes boxes;  // Yes to the question, Yes to the findings (undo file kept)
    boxes.AnswerNext(MessageBoxes::Answer::kYes);
    boxes.AnswerNext(MessageBoxes::Answer::kYes);
    r.window->checkButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(volume.deviceState(), DeviceState::kReady, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(volume.busyState(), BusyState::kIdle, 20000);
    QVERIFY(testing::WaitForIdleWindow(*r.window));
    QTRY_VERIFY(boxes.shown.size() >= 3);
    QVERIFY(boxes.shown[1].text.contains("8KB in damaged files/lost chains"));
    QVERIFY(boxes.shown[2].text.contains("Repairs complete"));
    const QString repaired_box = boxes.shown[2].text;
    QCOMPARE(volume.model().fat.entry(700), 0x00FFFFFFu);
    QCOMPARE(r.window->playerTree()->topLevelItem(0)->childCount(), 1);  // the song survived
    QCOMPARE(boxes.shown[1].choice, QString("Keep an undo file"));
    boxes.shown.clear();
    r.window->checkButton()->click();
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].text, QString("No errors were detected in the file system"));

    // The repair's undo file, named in its closing box, gives back the damaged image.
    const QStringList files = QDir(frontend::UndoFolder()).entryList({"*-repair.undo"}, QDir::Files);
    QCOMPARE(files.size(), qsizetype(1));
    const QString undo_file = frontend::UndoFolder() + "/" + files[0];
    QVERIFY(repaired_box.contains("Undo file: " + undo_file));
    r.app->volume().UnbindDriver();  // the image is locked while bound
    qputenv("JUKEPAK_IMAGE", r.image.toLocal8Bit());
    jukepak::QuietReporter reporter;
    jukepak::PlayerVolume disk(&reporter);
    QVERIFY(frontend::BindPlayerModule(disk, testing::BuiltModule("diskimage.dld").toStdString()).ok());
    std::unique_ptr<jukepak::undo::FileUndoStore> store;
    QVERIFY(jukepak::undo::FileUndoStore::Open(undo_file.toStdString(), &store).ok());
    jukepak::undo::UndoReport report;
    QVERIFY(jukepak::undo::RestoreUndoFile(*disk.device(), *store, false, &report).ok());
    QCOMPARE(report.refusal, jukepak::undo::UndoRefusal::kNone);
    disk.UnbindDriver();
    QVERIFY(image.open(QIODevice::ReadOnly));
    QVERIFY(image.readAll() == damaged);
  }
};

int main(int argc, char** argv) {
  testing::IsolateUserFolders();
  QApplication application(argc, argv);
  PendingSyncTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "pending_sync_test.moc"
