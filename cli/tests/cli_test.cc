// songlift-cli as a user runs it: the built program, on images in a temp folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "cli/tests/cli_runner.h"
#include "driver/image_file.h"
#include "volume/memory_device.h"
#include "volume/player_volume.h"
#include "volume/testing/recording_reporter.h"
#include "volume/tests/test_volumes.h"

namespace {

using songlift::cli::testing::CliRun;
using songlift::cli::testing::FreshTestFolder;
using songlift::cli::testing::RunCli;
using songlift::cli::testing::Slurp;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("cli_");
  }

  // Runs songlift-cli with `args` (shell words), stdin from /dev/null, with a
  // settings store and data folder of its own.
  CliRun Cli(const std::string& args) const { return RunCli(dir_, args); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(CliTest, MakesInitializesAndDescribesAMillionSectorImage) {
  CliRun r = Cli("mkimage x.img 1000000");
  ASSERT_EQ(r.status, 0) << r.err;
  struct stat info {};
  ASSERT_EQ(stat(Path("x.img").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 512000000);
  EXPECT_LT(info.st_blocks, 64);  // sparse

  r = Cli("--image x.img info");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds no volume"), std::string::npos) << r.err;

  r = Cli("--image x.img --yes init");
  ASSERT_EQ(r.status, 0) << r.err;
  r = Cli("--image x.img --json info");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"sectors\":1000000,\"fatStart\":4,\"fatSectors\":489,\"audioStart\":31,"
            "\"audioClusters\":62469,\"cdStart\":0,\"cdCount\":0,\"freeKB\":499736}\n");
  r = Cli("--image x.img ls");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  r = Cli("--image x.img --json ls");
  EXPECT_EQ(r.out, "[]\n");
}

TEST_F(CliTest, InitWithoutATerminalNeedsYes) {
  ASSERT_EQ(Cli("mkimage x.img 20000").status, 0);
  const CliRun r = Cli("--image x.img init");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--yes"), std::string::npos);
  EXPECT_EQ(Cli("--image x.img info").status, 1);  // still no volume
}

TEST_F(CliTest, ListsCdsAndTracksAsTheTreesShowThem) {
  jukepak::MemoryDevice disk(20000);
  jukepak::testing::RecordingReporter reporter;
  {
    jukepak::PlayerVolume volume(&reporter);
    ASSERT_EQ(volume.BindDevice(jukepak::testing::Share(disk)), jukepak::kBindOk);
    ASSERT_TRUE(volume.RunJobNow(jukepak::Job::kInit).ok());
  }
  jukepak::testing::AddCd(disk, "Caf\xE9", "Live", {{"One", "Caf\xE9", 1}, {"Two", "Guest", 2}});
  std::ofstream(Path("p.img"), std::ios::binary)
      .write(reinterpret_cast<const char*>(disk.bytes().data()), std::streamsize(disk.bytes().size()));

  CliRun r = Cli("--image p.img ls");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 Caf\xC3\xA9 / Live\n  1 One\n  2 Guest / Two\n");
  r = Cli("--image p.img --json ls");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "[{\"artist\":\"Caf\xC3\xA9\",\"album\":\"Live\",\"sector\":19999,\"tracks\":["
            "{\"title\":\"One\",\"artist\":\"Caf\xC3\xA9\",\"firstCluster\":2,\"size\":1124},"
            "{\"title\":\"Two\",\"artist\":\"Guest\",\"firstCluster\":3,\"size\":1124}]}]\n");
}

TEST_F(CliTest, BadInputGetsAClearMessageAndTheRightStatus) {
  struct Case {
    const char* args;
    int status;
    const char* words;
  } cases[] = {
      {"", 2, "Usage"},
      {"frobnicate", 2, "unknown command"},
      {"mkimage x.img", 2, "mkimage needs FILE and SECTORS"},
      {"mkimage x.img lots", 2, "SECTORS must be"},
      {"mkimage x.img 0", 2, "SECTORS must be"},
      {"--image", 2, "--image needs a value"},
      {"info extra", 2, "takes no arguments"},
      {"info", 1, "no driver module is chosen"},
      {"--image missing.img info", 1, "cannot open image"},
      {"--driver nowhere.dld info", 1, "cannot find the driver module nowhere.dld"},
      {"--driver /nonexistent/x.dld info", 1, "cannot load driver module"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE((r.err + r.out).find(c.words), std::string::npos) << r.err;
  }
  EXPECT_NE(access(Path("missing.img").c_str(), F_OK), 0);  // a dry look never creates images
}

TEST_F(CliTest, RefusesImagesThatAreNotWholeSectorsOrAreInUse) {
  std::ofstream(Path("odd.img")) << std::string(1000, 'x');
  CliRun r = Cli("--image odd.img info");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not a whole number of 512-byte sectors"), std::string::npos) << r.err;

  ASSERT_EQ(Cli("mkimage x.img 20000").status, 0);
  ASSERT_EQ(Cli("mkimage x.img 20000").status, 1);  // never overwrites
  std::unique_ptr<jukepak::ImageFile> held;
  ASSERT_TRUE(jukepak::ImageFile::Open(Path("x.img"), &held).ok());
  r = Cli("--image x.img --yes init");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("in use by another program"), std::string::npos) << r.err;
}

}  // namespace

namespace {

TEST_F(CliTest, ShowsAndTeachesRemoteControlCodes) {
  ASSERT_EQ(Cli("mkimage r.img 20000").status, 0);
  ASSERT_EQ(Cli("--image r.img -y init").status, 0);
  CliRun r = Cli("--image r.img remote");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" 1 Play/Stop     12800\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("group"), std::string::npos);

  r = Cli("--image r.img remote volume-up 12802");  // Volume down's code
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("two different functions"), std::string::npos);
  r = Cli("--image r.img --json remote");
  EXPECT_NE(r.out.find("{\"function\":2,\"name\":\"Volume up\",\"code\":12802,\"group\":1}"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("{\"function\":3,\"name\":\"Volume down\",\"code\":12802,\"group\":1}"),
            std::string::npos);

  EXPECT_EQ(Cli("--image r.img remote 17 5").status, 2);
  EXPECT_EQ(Cli("--image r.img remote 2 70000").status, 2);
  EXPECT_EQ(Cli("--image r.img remote 2 0").status, 2);
  ASSERT_EQ(Cli("--image r.img remote 2 0x102").status, 0);
  r = Cli("--image r.img remote");
  EXPECT_NE(r.out.find(" 2 Volume up       258\n"), std::string::npos) << r.out;
  // The table was rewritten as the dialog does: slots 16 to 127 are zero.
  std::ifstream image(Path("r.img"), std::ios::binary);
  std::string table(512, '\0');
  image.seekg(512);
  image.read(table.data(), 512);
  EXPECT_EQ(table.substr(64), std::string(448, '\0'));
}

TEST_F(CliTest, ListsTheDriverModulesSongliftOffers) {
  const CliRun r = Cli("drivers");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Disk Image\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("/diskimage.dld\n"), std::string::npos);
}

}  // namespace
