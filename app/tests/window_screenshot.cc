// Takes a picture of the main window for the README:
//   window_screenshot DRIVER OUT.png [--sync] [PATH...]
// mounts the player behind DRIVER, adds PATHs to the pending list, opens
// every CD and saves the window as a PNG. With --sync it syncs them first and
// waits for the sync's end; the Sync Summary box is drawn over the window's
// picture where a window manager would place it, centred on the window.

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

#include "app/songlift_app.h"
#include "app/songlift_dlg.h"

namespace {

void WaitFor(const std::function<bool()>& done) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: window_screenshot DRIVER OUT.png [--sync] [PATH...]\n");
    return 2;
  }
  QApplication application(argc, argv);
  songlift::SongliftApp app(QString::fromLocal8Bit(argv[1]));
  songlift::CSongliftDlg* window = app.Start();
  window->resize(820, 600);
  window->show();
  WaitFor([&] { return app.volume().deviceState() == jukepak::DeviceState::kReady; });
  int first_path = 3;
  const bool sync = argc > 3 && QString::fromLocal8Bit(argv[3]) == "--sync";
  if (sync) ++first_path;
  QStringList paths;
  for (int i = first_path; i < argc; ++i) paths << QString::fromLocal8Bit(argv[i]);
  if (!paths.isEmpty()) window->DropPaths(paths);
  if (sync) {
    window->syncButton()->click();
    WaitFor([&] { return !window->working(); });
  }
  window->RefreshSizeLabels();
  window->pendingTree()->expandAll();
  window->playerTree()->expandAll();
  QApplication::processEvents();
  QPixmap picture = window->grab();
  if (QMessageBox* summary = window->syncSummary(); sync && summary != nullptr) {
    summary->adjustSize();
    const QPixmap box = summary->grab();
    QPainter painter(&picture);
    const QPoint at((picture.width() - box.width()) / 2, (picture.height() - box.height()) / 2);
    painter.fillRect(QRect(at + QPoint(4, 4), box.size()), QColor(0, 0, 0, 60));  // its shadow
    painter.drawPixmap(at, box);
    painter.setPen(Qt::darkGray);
    painter.drawRect(QRect(at, box.size()).adjusted(0, 0, -1, -1));
  }
  const bool saved = picture.save(QString::fromLocal8Bit(argv[2]));
  window->close();
  app.volume().UnbindDriver();
  return saved ? 0 : 1;
}
