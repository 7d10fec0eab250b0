#include "window_test_support.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QTemporaryDir>
#include <cstdlib>

#include "driver/image_file.h"

namespace songlift::testing {
namespace {

QString g_folder;

}  // namespace

QString IsolateUserFolders() {
  static QTemporaryDir folder;
  g_folder = folder.path();
  qputenv("XDG_CONFIG_HOME", (g_folder + "/config").toLocal8Bit());
  qputenv("XDG_DATA_HOME", (g_folder + "/data").toLocal8Bit());
  qunsetenv("JUKEPAK_IMAGE");
  return g_folder;
}

QString MakeImage(const QString& name, uint32_t sectors) {
  const QString path = g_folder + "/" + name;
  QFile::remove(path);
  const jukepak::Result made = jukepak::CreateSparseImage(path.toStdString(), sectors);
  return made.ok() ? path : QString();
}

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

QString BuiltModule(const char* file_name) { return QString(JUKEPAK_BIN_DIR "/") + file_name; }

frontend::MessageBoxes::Answer ScriptedBoxes::Show(QWidget*, Kind, const QString& caption,
                                         const QString& text, Buttons buttons) {
  shown.push_back({caption, text});
  if (!answers_.empty()) {
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  if (buttons == Buttons::kYesNoDefaultNo) return Answer::kNo;
  return buttons == Buttons::kYesNo ? Answer::kYes : Answer::kOk;
}

}  // namespace songlift::testing
