// Volmend's start-up: the driver named by the settings or the command line,
// the four refusals and their message texts, and one whole run through the
// real disk-image module.

#include "volmend/volmend_startup.h"

#include <QApplication>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

#include "driver/driver_device.h"
#include "driver/image_file.h"
#include "frontend/qsettings_store.h"
#include "frontend/testing/window_testing.h"
#include "volmend/check_worker.h"
#include "volmend/tests/prompts_fixture.h"

using frontend::testing::BuiltModule;
using volmend::BindDriverModule;
using volmend::Startup;
using volmend::StartupFailure;

class VolmendStartupTest : public QObject {
  Q_OBJECT

 private:
  static void Store(const QString& key, const QVariant& value) {
    QSettings store(frontend::kOrganisation, frontend::kApplication);
    store.setValue(key, value);
    store.sync();
  }
  static std::string Module(const char* name) { return BuiltModule(name).toStdString(); }

  frontend::QSettingsStore settings_;

 private slots:
  // Each test gets a settings store of its own.
  void init() { frontend::testing::IsolateUserFolders(); }

  void settingsThatNameNoDriverAreRefused() {
    Startup s = BindDriverModule(settings_, {});
    QCOMPARE(s.failure, StartupFailure::kNoSettings);
    QCOMPARE(s.message, "Can't open registry key!");
    QVERIFY(s.device == nullptr);

    Store("Options/ConfirmDelete", 1);  // Songlift has run, but no driver was chosen
    s = BindDriverModule(settings_, {});
    QCOMPARE(s.failure, StartupFailure::kNoDriverValue);
    QCOMPARE(s.message, "Can't retrieve key value!");

    Store("Songlift/Driver", QStringList{Module("diskimage.dld").c_str(), "x"});  // not a text
    s = BindDriverModule(settings_, {});
    QCOMPARE(s.failure, StartupFailure::kNoDriverValue);
    QCOMPARE(s.message, "Can't retrieve key value!");
  }

  void driverSettingIsLoadedAndCheckedForAllNineNames() {
    settings_.WriteDriver(Module("diskimage.dld"));
    Startup s = BindDriverModule(settings_, {});
    QVERIFY2(s.failure == StartupFailure::kNone, qPrintable(s.message));
    QVERIFY(s.device != nullptr);
    QCOMPARE(s.device->module().path(), Module("diskimage.dld"));

    settings_.WriteDriver(Module("no_debugmsg.dld"));
    s = BindDriverModule(settings_, {});
    QCOMPARE(s.failure, StartupFailure::kMissingEntry);
    QCOMPARE(s.message, "Can't locate DLL function: DebugMsg\n\nThe driver module " +
                            QString::fromStdString(Module("no_debugmsg.dld")) + " lacks it.");
    QVERIFY(s.device == nullptr);

    settings_.WriteDriver(Module("missing.dld"));
    s = BindDriverModule(settings_, {});
    QCOMPARE(s.failure, StartupFailure::kCannotLoad);
    QVERIFY2(s.message.startsWith("Can't load driver DLL!\n\n" +
                                  QString::fromStdString(Module("missing.dld")) + ": "),
             qPrintable(s.message));
    settings_.WriteDriver("");
    QCOMPARE(BindDriverModule(settings_, {}).failure, StartupFailure::kCannotLoad);
  }

  void commandLineOverridesTheSetting() {
    settings_.WriteDriver(Module("no_debugmsg.dld"));
    Startup s = BindDriverModule(settings_, {"--image", "/tmp/some.img"});
    QVERIFY2(s.failure == StartupFailure::kNone, qPrintable(s.message));
    QVERIFY(s.device != nullptr);
    QCOMPARE(s.device->module().path(), Module("diskimage.dld"));
    QCOMPARE(qgetenv("JUKEPAK_IMAGE"), QByteArray("/tmp/some.img"));

    s = BindDriverModule(settings_, {"--driver", QString::fromStdString(Module("no_debugmsg.dld")),
                                     "--image", "/tmp/some.img"});
    QCOMPARE(s.failure, StartupFailure::kMissingEntry);

    QCOMPARE(BindDriverModule(settings_, {"--image"}).failure, StartupFailure::kUsage);
    QCOMPARE(BindDriverModule(settings_, {"--verbose"}).failure, StartupFailure::kUsage);
  }

  void wholeRunThroughTheDiskImageModule() {
    const QString path = frontend::testing::MakeImage("player.img", 20000);
    QVERIFY(!path.isEmpty());
    Startup s = BindDriverModule(settings_, {"--image", path});
    QCOMPARE(s.failure, StartupFailure::kNone);
    jukepak::DriverDevice& device = *s.device;
    volmend::ScriptedPrompts prompts;  // reinitialize the blank drive: Yes
    {
      volmend::VolmendSession session(&device, &prompts);
      session.Start();
      QVERIFY(QTest::qWaitFor([&] { return session.dialog().repairButton()->isEnabled(); }, 10000));
      session.RequestRepair();
      QVERIFY(QTest::qWaitFor([&] { return session.workerFinished(); }, 10000));
      QCOMPARE(session.outcome(), jukepak::checker::CheckOutcome::kReinitialized);
    }
    device.Close();
    QCOMPARE(prompts.boxes.size(), size_t(2));
    QCOMPARE(prompts.boxes[1].text, "Filesystem reinitialized");

    std::unique_ptr<jukepak::ImageFile> image;
    QVERIFY2(jukepak::ImageFile::Open(path.toStdString(), &image).ok(), "Close released the image");
    uint8_t sector[512];
    QVERIFY(image->Read(0, 1, sector));
    QCOMPARE(std::string(reinterpret_cast<const char*>(sector), 4), "MPFS");
  }
};

int main(int argc, char** argv) {
  frontend::testing::IsolateUserFolders();
  QApplication app(argc, argv);
  VolmendStartupTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "volmend_startup_test.moc"
