// songlift: the library manager's window.

#include <QApplication>
#include <QCommandLineParser>
#include <cstdlib>

#include "app/songlift_app.h"
#include "app/songlift_dlg.h"
#include "base/version.h"
#include "driver/driver_paths.h"
#include "frontend/qsettings_store.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(frontend::kOrganisation);
  QApplication::setApplicationName(frontend::kApplication);
  QApplication::setApplicationVersion(jukepak::kVersion);

  QCommandLineParser parser;
  parser.setApplicationDescription("Songlift: manages the music on a Jukepak player.");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption image(QStringLiteral("image"), "Use the disk image FILE for this run.", "FILE");
  QCommandLineOption driver(QStringLiteral("driver"), "Use the driver module MODULE for this run.", "MODULE");
  parser.addOption(image);
  parser.addOption(driver);
  parser.process(application);

  // Overrides hold for this run only; the "Driver" setting stays as it is.
  QString override_path = parser.value(driver);
  if (parser.isSet(image)) {
    setenv("JUKEPAK_IMAGE", parser.value(image).toLocal8Bit().constData(), 1);
    if (override_path.isEmpty()) {
      override_path = QString::fromStdString(jukepak::FindDriverModule("diskimage.dld"));
    }
  }
  if (!override_path.isEmpty() && !override_path.contains('/')) {
    const std::string found = jukepak::FindDriverModule(override_path.toStdString());
    if (!found.empty()) override_path = QString::fromStdString(found);
  }
  songlift::SongliftApp app(override_path);
  return app.Run();
}
