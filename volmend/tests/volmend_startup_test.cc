// Volmend's start-up: the driver named by the settings or the command line,
// the four refusals and their message texts, and one whole run through the
// real disk-image module.

#include "volmend/volmend_startup.h"

#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "driver/driver_device.h"
#include "driver/image_file.h"
#include "frontend/qsettings_store.h"
#include "volmend/check_worker.h"
#include "volmend/tests/prompts_fixture.h"

namespace volmend {
namespace {

class VolmendStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    ASSERT_TRUE(settings_dir.isValid());
    // Each test gets a settings store of its own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    unsetenv("JUKEPAK_IMAGE");
  }
  static void Store(const QString& key, const QVariant& value) {
    QSettings store(frontend::kOrganisation, frontend::kApplication);
    store.setValue(key, value);
    store.sync();
  }
  static std::string Module(const char* name) { return std::string(JUKEPAK_BIN_DIR "/") + name; }

  QTemporaryDir settings_dir;
  frontend::QSettingsStore settings_;
};

TEST_F(VolmendStartupTest, SettingsThatNameNoDriverAreRefused) {
  Startup s = BindDriverModule(settings_, {});
  EXPECT_EQ(s.failure, StartupFailure::kNoSettings);
  EXPECT_EQ(s.message, "Can't open registry key!");
  EXPECT_EQ(s.device, nullptr);

  Store("Options/ConfirmDelete", 1);  // Songlift has run, but no driver was chosen
  s = BindDriverModule(settings_, {});
  EXPECT_EQ(s.failure, StartupFailure::kNoDriverValue);
  EXPECT_EQ(s.message, "Can't retrieve key value!");

  Store("Songlift/Driver", QStringList{Module("diskimage.dld").c_str(), "x"});  // not a text
  s = BindDriverModule(settings_, {});
  EXPECT_EQ(s.failure, StartupFailure::kNoDriverValue);
  EXPECT_EQ(s.message, "Can't retrieve key value!");
}

TEST_F(VolmendStartupTest, DriverSettingIsLoadedAndCheckedForAllNineNames) {
  settings_.WriteDriver(Module("diskimage.dld"));
  Startup s = BindDriverModule(settings_, {});
  EXPECT_EQ(s.failure, StartupFailure::kNone) << s.message.toStdString();
  ASSERT_NE(s.device, nullptr);
  EXPECT_EQ(s.device->module().path(), Module("diskimage.dld"));

  settings_.WriteDriver(Module("no_debugmsg.dld"));
  s = BindDriverModule(settings_, {});
  EXPECT_EQ(s.failure, StartupFailure::kMissingEntry);
  EXPECT_EQ(s.message, "Can't locate DLL function: DebugMsg");
  EXPECT_EQ(s.device, nullptr);

  settings_.WriteDriver(Module("missing.dld"));
  s = BindDriverModule(settings_, {});
  EXPECT_EQ(s.failure, StartupFailure::kCannotLoad);
  EXPECT_EQ(s.message, "Can't load driver DLL!");
  settings_.WriteDriver("");
  EXPECT_EQ(BindDriverModule(settings_, {}).failure, StartupFailure::kCannotLoad);
}

TEST_F(VolmendStartupTest, CommandLineOverridesTheSetting) {
  settings_.WriteDriver(Module("no_debugmsg.dld"));
  Startup s = BindDriverModule(settings_, {"--image", "/tmp/some.img"});
  EXPECT_EQ(s.failure, StartupFailure::kNone) << s.message.toStdString();
  ASSERT_NE(s.device, nullptr);
  EXPECT_EQ(s.device->module().path(), Module("diskimage.dld"));
  EXPECT_STREQ(std::getenv("JUKEPAK_IMAGE"), "/tmp/some.img");

  s = BindDriverModule(
      settings_, {"--driver", QString::fromStdString(Module("no_debugmsg.dld")), "--image", "/tmp/some.img"});
  EXPECT_EQ(s.failure, StartupFailure::kMissingEntry);

  EXPECT_EQ(BindDriverModule(settings_, {"--image"}).failure, StartupFailure::kUsage);
  EXPECT_EQ(BindDriverModule(settings_, {"--verbose"}).failure, StartupFailure::kUsage);
}

TEST_F(VolmendStartupTest, WholeRunThroughTheDiskImageModule) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("player.img").toStdString();
  ASSERT_TRUE(jukepak::CreateSparseImage(path, 20000).ok());
  Startup s = BindDriverModule(settings_, {"--image", QString::fromStdString(path)});
  ASSERT_EQ(s.failure, StartupFailure::kNone);
  jukepak::DriverDevice& device = *s.device;
  ScriptedPrompts prompts;  // reinitialize the blank drive: Yes
  {
    VolmendSession session(&device, &prompts);
    session.Start();
    ASSERT_TRUE(WaitFor([&] { return session.dialog().repairButton()->isEnabled(); }));
    session.RequestRepair();
    ASSERT_TRUE(WaitFor([&] { return session.workerFinished(); }));
    EXPECT_EQ(session.outcome(), jukepak::checker::CheckOutcome::kReinitialized);
  }
  device.Close();
  ASSERT_EQ(prompts.boxes.size(), 2u);
  EXPECT_EQ(prompts.boxes[1].text, "Filesystem reinitialized");

  std::unique_ptr<jukepak::ImageFile> image;
  ASSERT_TRUE(jukepak::ImageFile::Open(path, &image).ok()) << "Close released the image";
  uint8_t sector[512];
  ASSERT_TRUE(image->Read(0, 1, sector));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sector), 4), "MPFS");
}

}  // namespace
}  // namespace volmend
