// volmend: checks the player's volume in depth and, on the user's word,
// repairs it or writes a fresh empty volume.

#include <QApplication>
#include <cstdio>

#include "frontend/qsettings_store.h"
#include "volmend/check_worker.h"
#include "volmend/checker_prompts.h"
#include "volmend/volmend_startup.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  volmend::MessageBoxPrompts prompts;
  frontend::QSettingsStore settings;
  volmend::Startup startup = volmend::BindDriverModule(settings, application.arguments().mid(1));
  if (startup.failure == volmend::StartupFailure::kUsage) {
    std::fputs(startup.message.toLocal8Bit().constData(), stderr);
    return 2;
  }
  if (startup.failure != volmend::StartupFailure::kNone) {
    prompts.Notice(nullptr, startup.message, volmend::kErrorCaption);
    return 1;
  }
  // The device owns the module and unloads it when it goes.
  jukepak::DriverDevice& device = *startup.device;
  {
    volmend::VolmendSession session(&device, &prompts);
    session.Exec();
  }
  device.Close();  // once the worker has ended, on this thread
  return 0;
}
