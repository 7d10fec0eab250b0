#include "frontend/testing/window_testing.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <vector>

#include "driver/image_file.h"

namespace frontend::testing {
namespace {

QString g_folder;

}  // namespace

QString IsolateUserFolders() {
  // Each call's folder lives to the end of the run: settings written through
  // it may still be read while the process ends.
  static std::vector<std::unique_ptr<QTemporaryDir>> folders;
  folders.push_back(std::make_unique<QTemporaryDir>());
  g_folder = folders.back()->path();
  qputenv("XDG_CONFIG_HOME", (g_folder + "/config").toLocal8Bit());
  // QSettings reads XDG_CONFIG_HOME once; later calls move it explicitly.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, g_folder + "/config");
  qputenv("XDG_DATA_HOME", (g_folder + "/data").toLocal8Bit());
  qputenv("XDG_CACHE_HOME", (g_folder + "/cache").toLocal8Bit());
  qunsetenv("JUKEPAK_IMAGE");
  return g_folder;
}

QString MakeImage(const QString& name, uint32_t sectors) {
  const QString path = g_folder + "/" + name;
  QFile::remove(path);
  const jukepak::Result made = jukepak::CreateSparseImage(path.toStdString(), sectors);
  return made.ok() ? path : QString();
}

QString BuiltModule(const char* file_name) { return QString(JUKEPAK_BIN_DIR "/") + file_name; }

void HandleNextDialog(std::function<void(QDialog*)> handle) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, handle] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    handle(dialog);
  });
  timer->start();
}

}  // namespace frontend::testing
