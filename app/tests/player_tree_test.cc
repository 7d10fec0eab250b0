// The player tree's edits as a user makes them: delete, rename, drag a track,
// the busy refusals and the integrity check's answers.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTest>
#include <QTreeWidget>

#include "app/copy_to_pc.h"
#include "app/dlg_confirm_delete.h"
#include "app/dlg_ir.h"
#include "app/dlg_rename.h"
#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "base/byte_order.h"
#include "format/remote_code_table.h"
#include "frontend/bind_player.h"
#include "frontend/qsettings_store.h"
#include "frontend/undo_choice.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "undo/file_undo_store.h"
#include "undo/undo_restore.h"
#include "volume/testing/engine_volume.h"
#include "window_test_support.h"

using namespace songlift;
using frontend::MessageBoxes;
using frontend::Options;
using jukepak::BusyState;
using jukepak::DeviceState;
using jukepak::testing::CdContent;
using jukepak::testing::SongContent;

namespace {

SongContent Song(const char* title, const char* artist, uint32_t seed) {
  return {title, artist, jukepak::testing::TestAudio(9000, seed)};
}

// An image holding `cds`, and the app running on it with the window shown.
struct PlayerWindow {
  explicit PlayerWindow(const std::vector<CdContent>& cds, Options options = {0, 1, 1}) {
    jukepak::MemoryDevice disk(20000);
    if (!jukepak::testing::BuildVolume(&disk, cds).ok()) qFatal("cannot build the volume");
    image = testing::MakeImage("player.img", 1);
    QFile::remove(image);
    if (!jukepak::testing::SaveImage(disk, image.toStdString()).ok()) qFatal("cannot save it");
    qputenv("JUKEPAK_IMAGE", image.toLocal8Bit());
    frontend::QSettingsStore().WriteOptions(options);
    app = std::make_unique<SongliftApp>(testing::BuiltModule("diskimage.dld"));
    window = app->Start();
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) qFatal("the window never showed");
    QTRY_VERIFY_WITH_TIMEOUT(app->volume().deviceState() == DeviceState::kReady, 10000);
    QTRY_VERIFY(app->volume().busyState() == BusyState::kIdle);
    QVERIFY(testing::WaitForIdleWindow(*window));
    tree()->expandAll();  // tracks must be on screen to be dragged and dropped on
  }
  ~PlayerWindow() {
    window->close();
    app->volume().UnbindDriver();
  }
  QTreeWidget* tree() const { return window->playerTree(); }
  QTreeWidgetItem* cd(int i) const { return tree()->topLevelItem(i); }
  QStringList Tracks(int cd_index) const {
    QStringList labels;
    for (int i = 0; i < cd(cd_index)->childCount(); ++i) labels << cd(cd_index)->child(i)->text(0);
    return labels;
  }
  QStringList Cds() const {
    QStringList labels;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i) labels << cd(i)->text(0);
    return labels;
  }
  QPoint Center(QTreeWidgetItem* item) const {
    return tree()->viewport()->mapToGlobal(tree()->visualItemRect(item).center());
  }
  void Drag(QTreeWidgetItem* item, QTreeWidgetItem* onto) {
    tree()->expandAll();
    window->BeginTrackDrag(tree(), item);
    window->MoveTrackDrag(Center(onto));
    window->DropTrackDrag(Center(onto));
  }
  // The titles of a CD as a fresh mount of the image reads them.
  QStringList RemountedTitles(int cd_index) {
    jukepak::QuietReporter reporter;
    jukepak::PlayerVolume fresh(&reporter);
    (void)testing::WaitForIdleWindow(*window);
    app->volume().UnbindDriver();  // the image is locked while bound
    QStringList titles;
    if (frontend::BindPlayerModule(fresh, testing::BuiltModule("diskimage.dld").toStdString()).ok() &&
        fresh.CheckVolume() && fresh.RunJobNow(jukepak::Job::kMount).ok()) {
      for (const auto& t : fresh.model().playerCds.at(size_t(cd_index))->tracks) {
        titles << QString::fromStdString(t->record.title());
      }
    }
    return titles;
  }

  QString image;
  std::unique_ptr<SongliftApp> app;
  CSongliftDlg* window = nullptr;
};

// Presses Enter in the next modal dialog, where its focus is, and keeps the
// dialog's text (a message box's, or the delete confirmation's name).
void PressEnterInNextDialog(QString* text) {
  testing::HandleNextDialog([text](QDialog* dialog) {
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) *text = box->text();
    if (auto* confirm = qobject_cast<DlgConfirmDelete*>(dialog)) *text = confirm->secondLine();
    QWidget* focus = dialog->focusWidget();
    QTest::keyClick(focus != nullptr ? focus : dialog, Qt::Key_Return);
  });
}

CdContent FourTracks() {
  return {"Band", "Four", {Song("1", "Band", 1), Song("2", "Band", 2), Song("3", "Band", 3),
                           Song("4", "Band", 4)}};
}

}  // namespace

class PlayerTreeTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { frontend::QSettingsStore().WriteDriver(""); }

  void deletingTheOnlyTrackOfACdDeletesTheCd() {
    PlayerWindow w({{"Solo", "Single", {Song("Only", "Solo", 1)}}, FourTracks()});
    QCOMPARE(w.Cds(), (QStringList{"Solo / Single", "Band / Four"}));
    w.tree()->setFocus();
    w.tree()->setCurrentItem(w.cd(0)->child(0));
    QVERIFY(w.window->deleteButton()->isEnabled());
    w.window->deleteButton()->click();
    QCOMPARE(w.Cds(), QStringList{"Band / Four"});
    QCOMPARE(w.app->volume().model().header.cdCount(), 1u);
  }

  void aCdWithThreeTracksGoesWithOneConfirmation() {
    PlayerWindow w({{"Band", "Three", {Song("a", "Band", 1), Song("b", "Band", 2),
                                       Song("c", "Band", 3)}}},
                   Options{1, 1, 1});
    int confirmations = 0;
    QString shown;
    testing::HandleNextDialog([&](QDialog* dialog) {
      ++confirmations;
      shown = static_cast<DlgConfirmDelete*>(dialog)->secondLine();
      dialog->accept();
    });
    w.tree()->setFocus();
    w.tree()->setCurrentItem(w.cd(0));
    QTest::keyClick(w.tree(), Qt::Key_Delete);
    QCOMPARE(confirmations, 1);
    QCOMPARE(shown, QString("Band / Three"));
    QCOMPARE(w.tree()->topLevelItemCount(), 0);
    QCOMPARE(w.app->volume().model().header.cdCount(), 0u);
  }

  void cancellingTheConfirmationDeletesNothing() {
    PlayerWindow w({FourTracks()}, Options{1, 1, 1});
    testing::HandleNextDialog([](QDialog* dialog) { dialog->reject(); });
    w.tree()->setCurrentItem(w.cd(0)->child(1));
    w.window->DeletePlayerItem(w.cd(0)->child(1), true);
    QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
  }

  void renamingTheCdArtistToTheTracksArtistShowsBareTitles() {
    PlayerWindow w({{"Various", "Mix", {Song("Song", "Band", 1), Song("Other", "Band", 2)}}});
    QCOMPARE(w.Tracks(0), (QStringList{"Band / Song", "Band / Other"}));
    testing::HandleNextDialog([](QDialog* dialog) {
      auto* rename = static_cast<DlgRename*>(dialog);
      QCOMPARE(rename->windowTitle(), QString("Change CD Information"));
      QCOMPARE(rename->title(), QString("Mix"));
      rename->artistEdit()->setText("Band");
      rename->accept();
    });
    w.tree()->setCurrentItem(w.cd(0));
    QTest::keyClick(w.tree(), Qt::Key_R);
    QCOMPARE(w.cd(0)->text(0), QString("Band / Mix"));
    QCOMPARE(w.Tracks(0), (QStringList{"Song", "Other"}));
    // What is typed becomes the player's text: Cyrillic is transliterated.
    testing::HandleNextDialog([](QDialog* dialog) {
      static_cast<DlgRename*>(dialog)->titleEdit()->setText(QString::fromUtf8("Группа крови"));
      static_cast<DlgRename*>(dialog)->accept();
    });
    QTest::keyClick(w.tree(), Qt::Key_R);
    QCOMPARE(w.cd(0)->text(0), QString("Band / Gruppa krovi"));
  }

  void draggingATrackReordersTheCdOnDisk() {
    PlayerWindow w({FourTracks()});
    w.Drag(w.cd(0)->child(0), w.cd(0)->child(2));  // 1 onto 3
    QCOMPARE(w.Tracks(0), (QStringList{"2", "3", "1", "4"}));
    w.Drag(w.cd(0)->child(3), w.cd(0)->child(1));  // 4 onto 3 (now second)
    QCOMPARE(w.Tracks(0), (QStringList{"2", "4", "3", "1"}));
    QVERIFY(!w.window->dragging());
    QCOMPARE(w.window->dropHighlight(), nullptr);
    QCOMPARE(w.RemountedTitles(0), (QStringList{"2", "4", "3", "1"}));
  }

  void draggingOntoTheFourthOfFourGivesTheSecondExample() {
    PlayerWindow w({FourTracks()});
    w.Drag(w.cd(0)->child(3), w.cd(0)->child(1));  // 4 onto 2: [1, 4, 2, 3]
    QCOMPARE(w.Tracks(0), (QStringList{"1", "4", "2", "3"}));
    QCOMPARE(w.RemountedTitles(0), (QStringList{"1", "4", "2", "3"}));
  }

  void aDropOverTheOtherTreeOrOutsideMovesNothing() {
    PlayerWindow w({FourTracks()});
    w.window->BeginTrackDrag(w.tree(), w.cd(0)->child(0));
    const QPoint over_pending = w.window->pendingTree()->viewport()->mapToGlobal(QPoint(10, 10));
    w.window->DropTrackDrag(over_pending);
    QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
    w.window->BeginTrackDrag(w.tree(), w.cd(0)->child(0));
    w.window->DropTrackDrag(w.window->statusLabel()->mapToGlobal(QPoint(1, 1)));
    QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
    w.window->BeginTrackDrag(w.tree(), w.cd(0));  // CDs are not dragged
    QVERIFY(!w.window->dragging());
  }

  void aMoveWhileBusyIsRefusedWithOrWithoutANotice() {
    PlayerWindow w({FourTracks()});
    testing::ScriptedBoxes boxes;
    w.window->SetBusyState(BusyState::kSync);  // as while a sync runs
    w.Drag(w.cd(0)->child(0), w.cd(0)->child(2));
    QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].caption, QString("Player Busy"));
    QCOMPARE(boxes.shown[0].text, QString("You may not move a track on the player right now."));
    w.app->options().notifyBusy = 0;
    w.Drag(w.cd(0)->child(0), w.cd(0)->child(2));
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
    QVERIFY(!w.window->dragging());
    w.window->SetBusyState(BusyState::kIdle);
  }

  void aRemoteCodeIsTaughtFromTheImagesSideFile() {
    PlayerWindow w({FourTracks()});
    DlgIr* shown = nullptr;
    testing::HandleNextDialog([&](QDialog* dialog) {
      shown = static_cast<DlgIr*>(dialog);
      shown->functionButton(16)->click();  // Mode
      QFile ir(w.image + ".ir");
      QVERIFY(ir.open(QIODevice::WriteOnly));
      ir.write("4660\n");  // the receiver's latch: 0x1234
      ir.close();
      QTRY_COMPARE_WITH_TIMEOUT(shown->learningFunction(), 0, 5000);  // the 100 ms poll took it
      QCOMPARE(QFile(w.image + ".ir").size(), qint64(0));              // and cleared the latch
      shown->accept();
    });
    w.window->learnRemoteButton()->click();
    QVERIFY(shown != nullptr);
    QCOMPARE(jukepak::DecodeRemoteEntry(w.app->volume().GetRemoteCode(15)).code, 0x1234);
    QCOMPARE(jukepak::DecodeRemoteEntry(w.app->volume().GetRemoteCode(15)).function, 16);
  }

  // Tab into the tree, or a click on an expand arrow, makes an item current
  // but not highlighted: Delete and the Delete button take nothing, with
  // confirmations on or off.
  void deleteTakesOnlyHighlightedItems() {
    for (int confirm : {1, 0}) {
      PlayerWindow w({FourTracks()}, Options{confirm, 1, 1});
      w.window->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(w.window));
      int dialogs = 0;
      QTimer guard;  // a confirmation would be counted and cancelled
      guard.setInterval(20);
      connect(&guard, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
          ++dialogs;
          dialog->reject();
        }
      });
      guard.start();

      w.window->pendingTree()->setFocus();
      QTest::keyClick(w.window->pendingTree(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), w.tree());
      QVERIFY(w.tree()->currentItem() != nullptr);
      QVERIFY(w.tree()->selectedItems().isEmpty());
      QVERIFY(!w.window->deleteButton()->isEnabled());
      QTest::keyClick(w.tree(), Qt::Key_Delete);

      w.tree()->collapseAll();
      const QRect row = w.tree()->visualItemRect(w.cd(0));
      QTest::mouseClick(w.tree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                        QPoint(row.left() - w.tree()->indentation() / 2, row.center().y()));
      QVERIFY(w.cd(0)->isExpanded());
      QVERIFY(w.tree()->selectedItems().isEmpty());
      QTest::keyClick(w.tree(), Qt::Key_Delete);
      w.window->deleteButton()->click();

      QTest::qWait(100);
      QCOMPARE(dialogs, 0);
      QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
      QCOMPARE(w.app->volume().model().header.cdCount(), 1u);
    }
  }

  // Items highlighted with Ctrl-click go together, after one confirmation
  // that says how many tracks leave the player.
  void severalHighlightedItemsGoWithOneConfirmation() {
    PlayerWindow w({FourTracks(), {"Solo", "Single", {Song("Only", "Solo", 5)}}}, Options{1, 1, 1});
    auto click = [&](QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers) {
      QTest::mouseClick(w.tree()->viewport(), Qt::LeftButton, modifiers,
                        w.tree()->visualItemRect(item).center());
    };
    click(w.cd(0)->child(1), Qt::NoModifier);
    click(w.cd(0)->child(3), Qt::ControlModifier);
    click(w.cd(1), Qt::ControlModifier);
    QString second, extent;
    testing::HandleNextDialog([&](QDialog* dialog) {
      second = static_cast<DlgConfirmDelete*>(dialog)->secondLine();
      extent = static_cast<DlgConfirmDelete*>(dialog)->extentLine();
      dialog->accept();
    });
    w.window->deleteButton()->click();
    QCOMPARE(second, QString("these 3 files"));
    QCOMPARE(extent, QString("from the player (3 tracks)"));
    QCOMPARE(w.Cds(), QStringList{"Band / Four"});
    QCOMPARE(w.Tracks(0), (QStringList{"1", "3"}));
    QCOMPARE(w.RemountedTitles(0), (QStringList{"1", "3"}));
  }

  // Highlighted tracks dragged together arrive together, in their order.
  void severalHighlightedTracksAreDraggedTogether() {
    PlayerWindow w({FourTracks(), {"Solo", "Single", {Song("Only", "Solo", 5)}}});
    auto highlight = [&](std::initializer_list<int> tracks) {
      w.tree()->clearSelection();
      for (int t : tracks) w.cd(0)->child(t)->setSelected(true);
    };
    highlight({0, 2});
    w.window->copyToPc()->NotePress(w.cd(0)->child(0));
    QVERIFY2(!w.window->copyToPc()->DragsOutAtOnce(), "the tracks move within the tree first");
    w.Drag(w.cd(0)->child(0), w.cd(0)->child(3));  // 1 and 3 onto 4
    QCOMPARE(w.Tracks(0), (QStringList{"2", "4", "1", "3"}));
    highlight({0, 1});
    w.Drag(w.cd(0)->child(1), w.cd(1));  // 2 and 4 onto the other CD: last, in order
    QCOMPARE(w.Tracks(0), (QStringList{"1", "3"}));
    QCOMPARE(w.Tracks(1), (QStringList{"Only", "Band / 2", "Band / 4"}));
    QCOMPARE(w.RemountedTitles(1), (QStringList{"Only", "2", "4"}));
  }

  // The filter keeps matching items and their CDs in view; what it hides is
  // no longer highlighted, so Delete cannot take it.
  void theFilterShowsMatchesAndTheirCds() {
    PlayerWindow w({FourTracks(), {"Solo", "Single", {Song("Only", "Solo", 5)}}});
    auto shown = [&] {
      QStringList labels;
      for (int i = 0; i < w.tree()->topLevelItemCount(); ++i) {
        if (w.cd(i)->isHidden()) continue;
        QStringList tracks;
        for (int k = 0; k < w.cd(i)->childCount(); ++k) {
          if (!w.cd(i)->child(k)->isHidden()) tracks << w.cd(i)->child(k)->text(0);
        }
        labels << w.cd(i)->text(0) + ": " + tracks.join(",");
      }
      return labels;
    };
    w.tree()->setCurrentItem(w.cd(0));  // highlighted, then filtered away
    QTest::keyClicks(w.window->playerFilter(), "ONL");
    QCOMPARE(shown(), QStringList{"Solo / Single: Only"});
    QVERIFY(w.tree()->selectedItems().isEmpty());
    w.window->playerFilter()->clear();
    QTest::keyClicks(w.window->playerFilter(), "band");
    QCOMPARE(shown(), QStringList{"Band / Four: 1,2,3,4"});
    w.window->playerFilter()->clear();
    QCOMPARE(shown().size(), 2);
  }

  // Enter on each question whose Yes destroys data answers No.
  void enterOnADestructiveQuestionKeepsThePlayer() {
    PlayerWindow w({FourTracks()}, Options{1, 1, 1});
    // A leftover cluster in the model only: the check asks to repair it.
    w.app->volume().model().fat.set(500, 0x00FFFFFE);
    const struct {
      const char* name;
      std::function<void()> ask;
      QString question;
    } cases[] = {
        {"delete",
         [&] {
           w.tree()->setFocus();
           w.tree()->setCurrentItem(w.cd(0));
           QTest::keyClick(w.tree(), Qt::Key_Delete);
         },
         "Band / Four"},
        {"initialize", [&] { w.window->initializeButton()->click(); },
         "This erases every song on the player: 1 CD, 4 tracks.\nDo you wish to proceed?"},
        {"repair", [&] { w.window->checkButton()->click(); },
         "The filesystem has errors: \nNull-Linkages: 1\nMultiple-Linkages:0\n"
         "Free-Linkages: 0\n\nWould you like to fix them now?"},
    };
    for (const auto& c : cases) {
      QString asked;
      PressEnterInNextDialog(&asked);
      c.ask();
      QCOMPARE(asked, c.question);
      QCOMPARE(w.app->volume().busyState(), BusyState::kIdle);
      QCOMPARE(w.Tracks(0), (QStringList{"1", "2", "3", "4"}));
      QCOMPARE(w.app->volume().model().fat.entry(500), 0x00FFFFFEu);  // not repaired
    }
  }

  // Initialize with "Keep an undo file": the undo puts back every byte.
  void anInitializationsUndoFileGivesTheImageBack() {
    PlayerWindow w({FourTracks()});
    QFile image(w.image);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray before = image.readAll();
    image.close();
    testing::ScriptedBoxes boxes;
    boxes.AnswerNext(MessageBoxes::Answer::kYes);
    boxes.CheckNext(true);
    w.window->initializeButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.app->volume().deviceState(), DeviceState::kReady, 10000);
    QTRY_COMPARE(w.app->volume().busyState(), BusyState::kIdle);
    QVERIFY(testing::WaitForIdleWindow(*w.window));
    QCOMPARE(w.tree()->topLevelItemCount(), 0);
    const QStringList files = QDir(frontend::UndoFolder()).entryList(QDir::Files);
    QCOMPARE(files.size(), qsizetype(1));
    QVERIFY2(files[0].endsWith("-player.img-init.undo"), qPrintable(files[0]));
    QVERIFY2(w.window->statusLabel()->text().startsWith("Ready; Undo file: " +
                                                        frontend::UndoFolder() + "/" + files[0]),
             qPrintable(w.window->statusLabel()->text()));

    w.app->volume().UnbindDriver();  // the image is locked while bound
    jukepak::QuietReporter reporter;
    jukepak::PlayerVolume disk(&reporter);
    QVERIFY(frontend::BindPlayerModule(disk, testing::BuiltModule("diskimage.dld").toStdString()).ok());
    std::unique_ptr<jukepak::undo::FileUndoStore> file;
    QVERIFY(jukepak::undo::FileUndoStore::Open(
                (frontend::UndoFolder() + "/" + files[0]).toStdString(), &file).ok());
    jukepak::undo::UndoReport report;
    QVERIFY(jukepak::undo::RestoreUndoFile(*disk.device(), *file, false, &report).ok());
    QCOMPARE(report.refusal, jukepak::undo::UndoRefusal::kNone);
    disk.UnbindDriver();
    QVERIFY(image.open(QIODevice::ReadOnly));
    QVERIFY(image.readAll() == before);
  }

  void theIntegrityCheckAnswersWithItsTwoBoxes() {
    PlayerWindow w({FourTracks()});
    testing::ScriptedBoxes boxes;
    w.window->checkButton()->click();
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(boxes.shown[0].caption, QString("Integrity Check"));
    QCOMPARE(boxes.shown[0].text, QString("No errors were detected in the file system"));
    // A cluster in use that no chain leads into and no track starts at.
    w.app->volume().model().fat.set(500, 0x00FFFFFE);
    boxes.AnswerNext(MessageBoxes::Answer::kNo);
    w.window->checkButton()->click();
    QCOMPARE(boxes.shown.size(), size_t(2));
    QCOMPARE(boxes.shown[1].text,
             QString("The filesystem has errors: \nNull-Linkages: 1\nMultiple-Linkages:0\n"
                     "Free-Linkages: 0\n\nWould you like to fix them now?"));
  }
};

int main(int argc, char** argv) {
  testing::IsolateUserFolders();
  QApplication application(argc, argv);
  PlayerTreeTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "player_tree_test.moc"
