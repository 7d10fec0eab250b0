// songlift-cli as a user runs it: the built program, on images in a temp folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "base/version.h"
#include "cli/commands.h"
#include "cli/tests/cli_runner.h"
#include "driver/image_file.h"
#include "driver/tests/loop_device.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"
#include "volume/tests/test_media.h"
#include "volume/tests/test_volumes.h"

namespace {

using songlift::cli::testing::CliRun;
using songlift::cli::testing::Compact;
using songlift::cli::testing::JsonOut;
using songlift::cli::testing::RunCli;
using songlift::cli::testing::Slurp;
using songlift::cli::testing::TestFolder;

class CliTest : public ::testing::Test {
 protected:
  // Runs songlift-cli with `args` (shell words), stdin from /dev/null, with a
  // settings store and data folder of its own.
  CliRun Cli(const std::string& args, const std::string& variables = "") const {
    return RunCli(dir_, args, variables);
  }

  // p.img: CD 1 "Band / First" with tracks "1" and "2"; a.mp3 beside it.
  // What a command made before (new.img, out.mp3) goes.
  void WritePlayer() const {
    for (const char* name : {"p.img", "new.img", "out.mp3"}) std::remove(Path(name).c_str());
    jukepak::MemoryDevice disk(8000);
    const jukepak::testing::CdContent cd{"Band",
                                         "First",
                                         {{"1", "Band", jukepak::testing::TestAudio(5000, 1)},
                                          {"2", "Band", jukepak::testing::TestAudio(9000, 2)}}};
    ASSERT_TRUE(jukepak::testing::BuildVolume(&disk, {cd}).ok());
    ASSERT_TRUE(jukepak::testing::SaveImage(disk, Path("p.img")).ok());
    jukepak::testing::WriteBytes(Path("a.mp3"),
                                 jukepak::testing::TaggedMp3(2, "Song", "Other", "Album", 1));
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  TestFolder folder_{"cli_"};
  const std::string dir_ = folder_.path();
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
  EXPECT_EQ(Compact(JsonOut(r.out).object()), Compact(QJsonObject{{"sectors", 1000000},
                                                                  {"fatStart", 4},
                                                                  {"fatSectors", 489},
                                                                  {"audioStart", 31},
                                                                  {"audioClusters", 62469},
                                                                  {"cdStart", 0},
                                                                  {"cdCount", 0},
                                                                  {"freeKB", 499736}}));
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
  ASSERT_TRUE(jukepak::testing::InitializeWithEngine(&disk).ok());
  jukepak::testing::AddCd(disk, "Caf\xE9", "Live", {{"One", "Caf\xE9", 1}, {"Two", "Guest", 2}});
  std::ofstream(Path("p.img"), std::ios::binary)
      .write(reinterpret_cast<const char*>(disk.bytes().data()),
             std::streamsize(disk.bytes().size()));

  CliRun r = Cli("--image p.img ls");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 Caf\xC3\xA9 / Live\n  1 One\n  2 Guest / Two\n");
  r = Cli("--image p.img --json ls");
  ASSERT_EQ(r.status, 0) << r.err;
  const QString cafe = QString::fromUtf8("Caf\xC3\xA9");
  const QJsonArray tracks{
      QJsonObject{{"title", "One"}, {"artist", cafe}, {"firstCluster", 2}, {"size", 1024}},
      QJsonObject{{"title", "Two"}, {"artist", "Guest"}, {"firstCluster", 3}, {"size", 7169}}};
  EXPECT_EQ(Compact(JsonOut(r.out).array()),
            Compact(QJsonArray{QJsonObject{
                {"artist", cafe}, {"album", "Live"}, {"sector", 19999}, {"tracks", tracks}}}));
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
      {"info --bogus", 2, "unknown option --bogus"},
      {"rm 1 --to 2", 2, "unknown option --to"},  // another command's option
      {"--image x.img rename 1 --title", 2, "--title needs a value"},
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

// --- images and disks that must not be written ---

TEST_F(CliTest, WriteProtectedImageIsReadButNeverWritten) {
  ASSERT_EQ(Cli("mkimage x.img 20000").status, 0);
  ASSERT_EQ(Cli("--image x.img --yes init").status, 0);
  ASSERT_EQ(chmod(Path("x.img").c_str(), 0444), 0);  // stops root too
  const std::string before = Slurp(Path("x.img"));
  for (const char* reading : {"ls", "info", "fsck -n", "fsck -y", "check", "remote"}) {
    const CliRun r = Cli(std::string("--image x.img ") + reading);
    EXPECT_EQ(r.status, 0) << reading << ": " << r.err;
  }
  const std::string refusal =
      "songlift-cli: x.img is read-only (write-protected: mode 0444); nothing is written to it\n";
  for (const char* writing : {"--yes init", "remote 1 1234", "rm 1"}) {
    const CliRun r = Cli(std::string("--image x.img ") + writing);
    EXPECT_EQ(r.status, 1) << writing;
    EXPECT_EQ(r.err, refusal) << writing;
  }
  EXPECT_EQ(Slurp(Path("x.img")), before);
}

TEST_F(CliTest, ImageOnAReadOnlyFileSystemIsReadButNeverWritten) {
  if (std::system("unshare -m true 2>/dev/null") != 0) {
    GTEST_SKIP() << "no mount namespaces here (unshare -m needs root), so no read-only mount";
  }
  ASSERT_EQ(Cli("mkimage x.img 20000").status, 0);
  ASSERT_EQ(Cli("--image x.img --yes init").status, 0);
  ASSERT_EQ(std::system(("mkdir '" + Path("ro") + "'").c_str()), 0);
  std::ofstream(Path("ro.sh"))
      << "mount --bind . ro && mount -o remount,bind,ro ro && exec \"$@\"\n";
  const std::string on_read_only_mount = "unshare -m sh ro.sh";
  CliRun r = Cli("--image ro/x.img ls", on_read_only_mount);
  EXPECT_EQ(r.status, 0) << r.err;
  r = Cli("--image ro/x.img fsck -n", on_read_only_mount);
  EXPECT_EQ(r.status, 0) << r.err;
  r = Cli("--image ro/x.img --yes init", on_read_only_mount);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "songlift-cli: ro/x.img is read-only (on a read-only file system); nothing is "
            "written to it\n");
}

TEST_F(CliTest, DiskHoldingAFileSystemIsWrittenOnlyWithForce) {
  ASSERT_EQ(Cli("mkimage d.img 20000").status, 0);
  if (!jukepak::testing::MakeExt4FileSystem(Path("d.img"))) {
    GTEST_SKIP() << jukepak::testing::kNoMkfsExt4;
  }
  jukepak::testing::LoopDevice loop(Path("d.img"));
  SKIP_WITHOUT_LOOP_DEVICE(loop);
  const std::string disk = "--image " + loop.path() + " ";
  const std::string refusal =
      "songlift-cli: " + loop.path() +
      " holds an ext4 file system; not touched (--force writes to it anyway)\n";
  const std::string before = Slurp(Path("d.img"));
  CliRun r = Cli(disk + "--yes init");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, refusal);
  r = Cli(disk + "fsck -y --reinit");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("Invalid header signature"), std::string::npos) << "read and checked";
  EXPECT_EQ(r.err, refusal);
  EXPECT_EQ(Slurp(Path("d.img")), before);

  r = Cli(disk + "--force --yes init");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Cli(disk + "ls").status, 0);
  EXPECT_EQ(Cli(disk + "--yes init").status, 0) << "a player volume is written without --force";
}

TEST_F(CliTest, ReadOnlyBlockDeviceIsReadButNeverWritten) {
  ASSERT_EQ(Cli("mkimage d.img 20000").status, 0);
  ASSERT_EQ(Cli("--image d.img --yes init").status, 0);
  jukepak::testing::LoopDevice loop(Path("d.img"), "-r");
  SKIP_WITHOUT_LOOP_DEVICE(loop);
  const std::string disk = "--image " + loop.path() + " ";
  for (const char* reading : {"ls", "info", "fsck -n"}) {
    const CliRun r = Cli(disk + reading);
    EXPECT_EQ(r.status, 0) << reading << ": " << r.err;
  }
  const CliRun r = Cli(disk + "--yes init");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "songlift-cli: " + loop.path() +
                       " is read-only (a read-only device); nothing is written to it\n");
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
  const QJsonArray codes = JsonOut(r.out).array();
  ASSERT_EQ(codes.size(), 16) << r.out;
  EXPECT_EQ(
      Compact(codes[1].toObject()),
      Compact(QJsonObject{{"function", 2}, {"name", "Volume up"}, {"code", 12802}, {"group", 1}}));
  EXPECT_EQ(Compact(codes[2].toObject()),
            Compact(QJsonObject{
                {"function", 3}, {"name", "Volume down"}, {"code", 12802}, {"group", 1}}));

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

namespace {

TEST_F(CliTest, OptionsStandBeforeOrAfterTheCommand) {
  WritePlayer();
  const std::string expected = Cli("--image p.img --json ls").out;
  ASSERT_EQ(JsonOut(expected).array().size(), 1) << expected;
  for (const char* args : {"ls --image p.img --json", "--json ls --image=p.img",
                           "--image p.img ls --json", "ls --json -- --image p.img"}) {
    SCOPED_TRACE(args);
    const CliRun r = Cli(args);
    if (std::string(args).find("-- --image") != std::string::npos) {
      // After "--" every word is an argument: ls takes none.
      EXPECT_EQ(r.status, 2);
      continue;
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
  }
  EXPECT_EQ(Cli("--image p.img rm 1 2 --yes").status, 0);
  EXPECT_EQ(Cli("--image p.img export 1 1 -- -x.mp3").status, 0);
  EXPECT_EQ(access(Path("-x.mp3").c_str(), F_OK), 0);
  EXPECT_EQ(Cli("--image p.img init -y").status, 0);
  EXPECT_EQ(JsonOut(Cli("ls --image p.img --json").out).array().size(), 0);
}

// argv reaches the commands byte for byte: a Latin-1 file name is no UTF-8.
TEST_F(CliTest, FileNamesNeedNotBeUtf8) {
  WritePlayer();
  // Typed as the shell passes them: the byte E9 alone, no UTF-8.
  jukepak::testing::WriteBytes(Path("Caf\xE9.mp3"),
                               jukepak::testing::TaggedMp3(2, "Caf", "Other", "Album", 1));
  CliRun r = Cli("--image p.img sync --json \"$(printf 'Caf\\351.mp3')\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(JsonOut(r.out).object()["written"].toInt(), 1) << r.out;
  r = Cli("--image p.img export 1 1 \"$(printf 'Caf\\351.out')\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(access(Path("Caf\xE9.out").c_str(), F_OK), 0);
}

// Every command with --json (given last), on a success and a failure:
// standard output is one JSON document. A failure without a result of its own
// prints {"error": ..., "exitStatus": ...}.
TEST_F(CliTest, JsonOutputIsOneDocumentOnEverySuccessAndFailure) {
  ASSERT_EQ(Cli("mkimage blank.img 20000").status, 0);
  const struct {
    const char* args;
    int status;
    const char* key;  // a member of the document; "" for an array
  } cases[] = {
      {"mkimage new.img 100", 0, "sectors"},
      {"mkimage p.img 100", 1, "error"},
      {"--image p.img init --yes", 0, "freeKB"},
      {"--image p.img init", 1, "error"},
      {"--image p.img info", 0, "cdCount"},
      {"--image blank.img info", 1, "error"},
      {"--image p.img ls", 0, ""},
      {"--image p.img ls extra", 2, "error"},
      {"--image p.img sync a.mp3", 0, "written"},
      {"--image p.img sync -n a.mp3", 0, "fits"},
      {"--image p.img sync missing.mp3", 1, "failures"},
      {"--image p.img remote", 0, ""},
      {"--image p.img remote 2 0x102", 0, "code"},
      {"--image p.img remote 17 5", 2, "error"},
      {"drivers", 0, ""},
      {"drivers extra", 2, "error"},
      {"--image p.img rm 1 1 --yes", 0, "deleted"},
      {"--image p.img rm 9 --yes", 1, "error"},
      {"--image p.img mv 1 1 --to 1 --at 2", 0, "from"},
      {"--image p.img mv 1 1", 2, "error"},
      {"--image p.img rename 1 --title New", 0, "album"},
      {"--image p.img rename 1 5 --title t", 1, "error"},
      {"--image p.img check", 0, "clean"},
      {"--image missing.img check", 1, "error"},
      {"--image p.img export 1 1 out.mp3", 0, "file"},
      {"--image p.img export 1 9 out.mp3", 1, "error"},
      {"--image p.img backup bk", 0, "written"},
      {"--image p.img backup p.img", 1, "error"},
      {"--image p.img restore bk", 0, "alreadyThere"},
      {"--image p.img restore nowhere", 1, "error"},
      {"--image p.img fsck -n", 0, "outcome"},
      {"--image missing.img fsck", 8, "outcome"},
      {"--image p.img fsck -n -y", 16, "error"},
      {"frobnicate", 2, "error"},
      {"--image p.img ls --bogus", 2, "error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    WritePlayer();
    const CliRun r = Cli(std::string(c.args) + " --json");
    EXPECT_EQ(r.status, c.status) << r.err;
    const QJsonDocument document = JsonOut(r.out);
    if (*c.key == '\0') {
      EXPECT_TRUE(document.isArray()) << r.out;
      continue;
    }
    ASSERT_TRUE(document.isObject()) << r.out;
    EXPECT_TRUE(document.object().contains(c.key)) << r.out;
    if (std::string(c.key) == "error") {
      EXPECT_EQ(document.object()["exitStatus"].toInt(), c.status);
      EXPECT_NE(r.err.find(document.object()["error"].toString().toStdString()), std::string::npos)
          << "the same words on stderr: " << r.err;
    }
  }
}

TEST_F(CliTest, BackupAndRestoreGiveAFreshImageTheSameListing) {
  WritePlayer();
  CliRun r = Cli("--image p.img backup bk");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2 tracks: 2 files written"), std::string::npos) << r.out;
  r = Cli("--image p.img backup bk --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const QJsonObject second = JsonOut(r.out).object();
  EXPECT_EQ(Compact(second["written"].toArray()), "[]");
  EXPECT_EQ(second["unchanged"].toInt(), 2);

  ASSERT_EQ(Cli("mkimage fresh.img 8000").status, 0);
  ASSERT_EQ(Cli("--image fresh.img init --yes").status, 0);
  r = Cli("--image fresh.img restore bk");
  ASSERT_EQ(r.status, 0) << r.err;
  auto listing = [&](const char* image) {
    QJsonArray cds = JsonOut(Cli(std::string("--image ") + image + " ls --json").out).array();
    for (auto cd : cds) {  // where records lie differs from volume to volume
      QJsonObject object = cd.toObject();
      object.remove("sector");
      QJsonArray tracks = object["tracks"].toArray();
      for (auto track : tracks) {
        QJsonObject t = track.toObject();
        t.remove("firstCluster");
        track = t;
      }
      object["tracks"] = tracks;
      cd = object;
    }
    return Compact(cds);
  };
  EXPECT_NE(listing("p.img").find("\"First\""), std::string::npos);
  EXPECT_EQ(listing("fresh.img"), listing("p.img"));
}

TEST_F(CliTest, AFailingModuleSaysWhyWithoutTheDebugChannel) {
  WritePlayer();
  const struct {
    const char* variables;
    const char* module;
    const char* reason;
  } cases[] = {
      {"JUKEPAK_SIM_FAULTS=cable-pulled", "portlink-sim.dld",
       "portlink-sim: could not open the player: the cable seems unplugged (no handshake)\n"},
      // The register test's bare "0 R E" line once went to standard output.
      {"JUKEPAK_SIM_FAULTS=register-error-at=1", "portlink-sim.dld",
       "portlink-sim: could not open the player: the player's disk registers read back wrong "
       "(pass 0: wrote "},
      {"JUKEPAK_DISK_FAULTS=power-cut-after=3", "faultdisk.dld",
       "faultdisk: could not open the player: disk fault \"power-cut-after=3\": unknown switch\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module);
    const CliRun r =
        Cli(std::string("--driver ") + JUKEPAK_BIN_DIR "/" + c.module + " --image p.img ls --json",
            c.variables);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string("songlift-cli: the driver ") + JUKEPAK_BIN_DIR "/" + c.module +
                         " could not open the player\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(JsonOut(r.out).object().contains("error")) << r.out;
  }
}

TEST_F(CliTest, HelpForTheProgramAndForEachCommandAndTheVersion) {
  CliRun r = Cli("--help");
  ASSERT_EQ(r.status, 0);
  for (const auto& command : songlift::cli::Commands()) {
    SCOPED_TRACE(command.name);
    EXPECT_NE(r.out.find(std::string("\n  ") + command.name + " "), std::string::npos) << r.out;
    const CliRun own = Cli(std::string(command.name) + " --help");
    EXPECT_EQ(own.status, 0);
    EXPECT_EQ(own.out.rfind(std::string("Usage: songlift-cli [OPTION...] ") + command.name, 0), 0u)
        << own.out;
    for (const auto& option : command.arguments.options) {
      EXPECT_NE(own.out.find(songlift::cli::LookupName(option)), std::string::npos) << own.out;
    }
  }
  r = Cli("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("songlift-cli ") + jukepak::kVersion + "\n");
}

}  // namespace
