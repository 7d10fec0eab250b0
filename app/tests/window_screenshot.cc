// Takes a picture of the main window for the README: window_screenshot
// DRIVER OUT.png [PATH...] mounts the player behind DRIVER, adds PATHs to the
// pending list, opens every CD and saves the window as a PNG.

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTreeWidget>

#include "app/songlift_app.h"
#include "app/songlift_dlg.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: window_screenshot DRIVER OUT.png [PATH...]\n");
    return 2;
  }
  QApplication application(argc, argv);
  songlift::SongliftApp app(QString::fromLocal8Bit(argv[1]));
  songlift::CSongliftDlg* window = app.Start();
  window->show();
  QElapsedTimer waited;
  waited.start();
  while (app.volume().deviceState() != jukepak::DeviceState::kReady && waited.elapsed() < 20000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QStringList paths;
  for (int i = 3; i < argc; ++i) paths << QString::fromLocal8Bit(argv[i]);
  if (!paths.isEmpty()) window->DropPaths(paths);
  window->RefreshSizeLabels();
  window->pendingTree()->expandAll();
  window->playerTree()->expandAll();
  window->resize(820, 520);
  QApplication::processEvents();
  const bool saved = window->grab().save(QString::fromLocal8Bit(argv[2]));
  window->close();
  app.volume().UnbindDriver();
  return saved ? 0 : 1;
}
