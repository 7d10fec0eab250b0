// Copy to PC and the drag out of the window: the files a copy writes, a
// second copy, a cancel, and when the command may be used.

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <atomic>
#include <thread>

#include "app/copy_to_pc.h"
#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "frontend/qsettings_store.h"
#include "testing/memory_device.h"
#include "testing/scripted_device.h"
#include "testing/volume_builder.h"
#include "window_test_support.h"

using namespace songlift;
using jukepak::BusyState;
using jukepak::DeviceState;
using jukepak::testing::CdContent;
using jukepak::testing::ScriptedDevice;
using jukepak::testing::SongContent;

namespace {

SongContent Song(const char* title, uint32_t seed) {
  // Three clusters and a bit, so that a read can be caught inside a song.
  return {title, "Band", jukepak::testing::TestAudio(3 * 8192 + 500, seed)};
}

const std::vector<CdContent> kCds = {
    {"Band", "First", {Song("One", 1), Song("Two", 2), Song("Three", 3)}},
    {"Band", "Second", {Song("Four", 4), Song("Five", 5)}},
};

QByteArray Bytes(const std::vector<uint8_t>& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The song's audio bytes between the file's own tag and its ID3v1 block.
bool HoldsAudio(const QString& path, const SongContent& song) {
  const QByteArray file = FileBytes(path);
  const qsizetype audio = qsizetype(song.audio.size());
  return file.startsWith("ID3") && file.size() > audio + 128 &&
         file.sliced(file.size() - 128).startsWith("TAG") &&
         file.sliced(file.size() - 128 - audio, audio) == Bytes(song.audio);
}

// Every file below `folder` (hidden ones too), relative, with its time.
QStringList Listing(const QString& folder) {
  QStringList files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    files << it.filePath().mid(folder.size() + 1) + " " +
                 QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch());
  }
  files.sort();
  return files;
}

// The window over a volume of kCds, reached through a ScriptedDevice.
struct CopyWindow {
  CopyWindow() : disk(20000) {
    if (!jukepak::testing::BuildVolume(&disk, kCds).ok()) qFatal("cannot build the volume");
    frontend::QSettingsStore().WriteDriver("");
    app = std::make_unique<SongliftApp>();
    window = app->Start();
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) qFatal("the window never showed");
    auto scripted = std::make_unique<ScriptedDevice>(&disk);
    device = scripted.get();
    if (!app->volume().BindDevice(std::move(scripted)).ok()) qFatal("cannot bind");
    window->RequestMount();
    if (!QTest::qWaitFor([&] { return app->volume().deviceState() == DeviceState::kReady; })) {
      qFatal("the volume never mounted");
    }
    if (!testing::WaitForIdleWindow(*window)) qFatal("the mount never ended");
    copy()->setFolderChooser([this](QWidget*, const QString& offered) {
      offers << offered;
      return folder.path();
    });
  }
  ~CopyWindow() {
    window->close();
    app->volume().UnbindDriver();
  }
  CopyToPc* copy() const { return window->copyToPc(); }
  QTreeWidgetItem* cd(int i) const { return window->playerTree()->topLevelItem(i); }
  QString File(const char* relative) const { return folder.path() + "/" + relative; }
  // Runs Copy to PC as the user does and returns the message it ends with.
  QString RunCopy() {
    const size_t before = boxes.shown.size();
    copy()->action()->trigger();
    if (!QTest::qWaitFor([&] { return boxes.shown.size() > before; }, 10000)) return "no message";
    if (!testing::WaitForIdleWindow(*window)) return "the copy never ended";
    return boxes.shown.back().text;
  }

  jukepak::MemoryDevice disk;
  ScriptedDevice* device = nullptr;
  std::unique_ptr<SongliftApp> app;
  CSongliftDlg* window = nullptr;
  testing::ScriptedBoxes boxes;
  QTemporaryDir folder;
  QStringList offers;
};

}  // namespace

class CopyToPcTest : public QObject {
  Q_OBJECT
 private slots:
  void aCdAndATrackAreCopiedOnceAndASecondCopyWritesNothing() {
    CopyWindow w;
    w.cd(0)->setSelected(true);
    w.cd(1)->child(1)->setSelected(true);
    const QString first = w.RunCopy();
    QVERIFY2(first.startsWith("Copied 4 songs to " + w.folder.path()), qPrintable(first));
    QVERIFY(HoldsAudio(w.File("Band/First/01 One.mp3"), kCds[0].songs[0]));
    QVERIFY(HoldsAudio(w.File("Band/First/02 Two.mp3"), kCds[0].songs[1]));
    QVERIFY(HoldsAudio(w.File("Band/First/03 Three.mp3"), kCds[0].songs[2]));
    QVERIFY(HoldsAudio(w.File("Band/Second/02 Five.mp3"), kCds[1].songs[1]));
    const QStringList files = Listing(w.folder.path());
    QCOMPARE(files.size(), 4);
    QCOMPARE(QString::fromStdString(frontend::QSettingsStore().ReadCopyFolder()), w.folder.path());

    const QString second = w.RunCopy();
    QVERIFY2(second.contains("Copied 0 songs") && second.contains("Skipped 4 songs"),
             qPrintable(second));
    QCOMPARE(Listing(w.folder.path()), files);
    QCOMPARE(w.offers.last(), w.folder.path());  // the last folder is offered again
  }

  void cancelStopsInsideASongAndLeavesNoPartOfItsFile() {
    CopyWindow w;
    const auto& model = w.app->volume().model();
    const uint32_t second_song = uint32_t(
        model.header.ClusterSector(model.playerCds[0]->tracks[1]->firstCluster));
    std::atomic<bool> reached{false}, go{false};
    struct Release {  // a failed check must not leave the worker waiting
      std::atomic<bool>& go;
      ~Release() { go = true; }
    } release{go};
    w.device->BeforeEach([&](const jukepak::testing::DeviceCall& call) {
      if (call.op == jukepak::testing::Op::kRead && call.sector == second_song) {
        reached = true;
        while (!go) std::this_thread::yield();
      }
      return std::optional<jukepak::Result>();
    });
    w.cd(0)->setSelected(true);
    const size_t before = w.boxes.shown.size();
    w.copy()->action()->trigger();
    QVERIFY(QTest::qWaitFor([&] { return reached.load(); }));
    auto* label = w.copy()->progress()->findChild<QLabel*>();
    QTRY_VERIFY(label->text().startsWith("Song 2 of 3"));
    w.copy()->progress()->findChild<QPushButton*>()->click();
    go = true;
    QTRY_VERIFY(w.boxes.shown.size() > before);
    QVERIFY(testing::WaitForIdleWindow(*w.window));
    const QString message = w.boxes.shown.back().text;
    QVERIFY2(message.contains("Copied 1 song to") && message.contains("cancelled; 2 songs not"),
             qPrintable(message));
    QCOMPARE(Listing(w.folder.path()).size(), 1);  // no temporary or half file either
    QVERIFY(HoldsAudio(w.File("Band/First/01 One.mp3"), kCds[0].songs[0]));
    QVERIFY(!w.copy()->progress()->isVisible());
    QVERIFY(w.copy()->action()->isEnabled());
  }

  void aFailedReadEndsTheCopyNamingTheSongsFile() {
    CopyWindow w;
    const auto& model = w.app->volume().model();
    const uint32_t second_song = uint32_t(
        model.header.ClusterSector(model.playerCds[0]->tracks[1]->firstCluster));
    w.device->BeforeEach([&](const jukepak::testing::DeviceCall& call) {
      if (call.op != jukepak::testing::Op::kRead || call.sector != second_song) {
        return std::optional<jukepak::Result>();
      }
      return std::optional(jukepak::Result::Error(jukepak::ResultCode::kIoError, "no answer"));
    });
    w.cd(0)->setSelected(true);
    const QString message = w.RunCopy();
    QVERIFY2(message.startsWith("Copied 1 song to") &&
                 message.contains("1 song could not be copied:\n    Band/First/02 Two.mp3 "
                                  "(Band / Two): no answer"),
             qPrintable(message));
    QCOMPARE(Listing(w.folder.path()).size(), 1);
    QCOMPARE(w.app->volume().deviceState(), DeviceState::kNoDriver);
    QCOMPARE(w.app->volume().busyState(), BusyState::kIdle);
    QVERIFY(!w.copy()->progress()->isVisible());
  }

  void theCommandNeedsAHighlightedItemAndAnIdlePlayer() {
    CopyWindow w;
    QVERIFY(!w.copy()->action()->isEnabled());
    w.cd(1)->child(0)->setSelected(true);
    QVERIFY(w.copy()->action()->isEnabled());
    w.app->volume().SetBusyState(BusyState::kSync);
    QVERIFY(!w.copy()->action()->isEnabled());
    w.app->volume().SetBusyState(BusyState::kIdle);
    w.window->playerTree()->clearSelection();
    QVERIFY(!w.copy()->action()->isEnabled());
  }

  void aDragOutCarriesTheCopiedFilesAsUris() {
    // Another Songlift's drag folder, which this window must leave alone.
    const QString others = CopyToPc::DragFolder() + "/drag-of-another-window";
    QVERIFY(QDir().mkpath(others));
    QString mine;
    {
      CopyWindow w;
      const size_t boxes = w.boxes.shown.size();
      std::unique_ptr<QMimeData> dragged;
      w.copy()->setDragStarter([&](std::unique_ptr<QMimeData> data) { dragged = std::move(data); });
      w.copy()->NotePress(w.cd(1));
      QVERIFY(w.copy()->DragsOutAtOnce());
      w.copy()->StartDragOut();
      QTRY_VERIFY(dragged != nullptr);
      QVERIFY(dragged->hasFormat("text/uri-list"));
      const QList<QUrl> urls = dragged->urls();
      QCOMPARE(urls.size(), 2);
      for (int i = 0; i < 2; ++i) {
        const QString path = urls[i].toLocalFile();
        QVERIFY2(path.startsWith(CopyToPc::DragFolder() + "/"), qPrintable(path));
        QVERIFY(path.endsWith(i == 0 ? "/Band/Second/01 Four.mp3" : "/Band/Second/02 Five.mp3"));
        QVERIFY(HoldsAudio(path, kCds[1].songs[size_t(i)]));
        mine = path.left(path.indexOf("/Band/"));
      }
      QCOMPARE(w.boxes.shown.size(), boxes);  // no complaint
    }
    QVERIFY(!QFileInfo::exists(mine));  // the window's drags went with it
    QVERIFY(QFileInfo::exists(others));
  }
};

int main(int argc, char** argv) {
  testing::IsolateUserFolders();
  QApplication application(argc, argv);
  CopyToPcTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "copy_to_pc_test.moc"
