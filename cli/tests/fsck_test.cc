// songlift-cli fsck as a script or a user at a terminal runs it: the built
// program on image files, its exit statuses, and its questions answered (or
// interrupted) through a pseudo-terminal.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "base/byte_order.h"
#include "cli/tests/cli_runner.h"
#include "driver/image_file.h"

namespace {

using songlift::cli::testing::CliRun;
using songlift::cli::testing::IsolatedEnvironment;
using songlift::cli::testing::JsonOut;
using songlift::cli::testing::RunCli;
using songlift::cli::testing::Slurp;
using songlift::cli::testing::TestFolder;

class FsckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Cli("mkimage p.img 20000").status, 0);
    ASSERT_EQ(Cli("--image p.img --yes init").status, 0);
  }

  std::string Environment() const { return IsolatedEnvironment(dir_); }
  // Runs songlift-cli with `args` (shell words), stdin from /dev/null.
  CliRun Cli(const std::string& args) const { return RunCli(dir_, args); }
  std::string Image() const { return dir_ + "/p.img"; }

  // Rewrites FAT entry `cluster` (FAT sector 0 is sector 4).
  void PatchFat(uint32_t cluster, uint32_t value) {
    std::unique_ptr<jukepak::ImageFile> image;
    ASSERT_TRUE(jukepak::ImageFile::Open(Image(), &image).ok());
    uint8_t sector[512];
    ASSERT_TRUE(image->Read(4 + cluster / 128, 1, sector));
    jukepak::StoreLe32(sector + 4 * (cluster % 128), value);
    ASSERT_TRUE(image->Write(4 + cluster / 128, 1, sector).ok());
  }
  // fatStart 3, which the layout rule rebuilds as long as the FAT agrees.
  void BreakFatStart() {
    std::unique_ptr<jukepak::ImageFile> image;
    ASSERT_TRUE(jukepak::ImageFile::Open(Image(), &image).ok());
    uint8_t sector[512];
    ASSERT_TRUE(image->Read(0, 1, sector));
    jukepak::StoreLe32(sector + 32, 3);
    ASSERT_TRUE(image->Write(0, 1, sector).ok());
  }
  void BreakHeader() {
    BreakFatStart();
    // With the placeholder's FAT entries gone nothing agrees with a rebuilt
    // header either.
    std::unique_ptr<jukepak::ImageFile> image;
    ASSERT_TRUE(jukepak::ImageFile::Open(Image(), &image).ok());
    const uint8_t zeros[512] = {};
    ASSERT_TRUE(image->Write(4, 1, zeros).ok());
  }

  // Runs songlift-cli on a pseudo-terminal; whenever the output shows
  // "[y/N] ", the next answer of `answers` is typed.
  CliRun OnTerminal(const std::string& args, const std::string& answers) const {
    CliRun run;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      const std::string command =
          "exec " + Environment() + "'" JUKEPAK_BIN_DIR "/songlift-cli' " + args;
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    size_t next_answer = 0, asked_at = 0;
    for (;;) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) break;
      run.out.append(buffer, size_t(n));
      const size_t prompt = run.out.find("[y/N] ", asked_at);
      if (prompt != std::string::npos && next_answer < answers.size()) {
        asked_at = prompt + 1;
        const char answer = answers[next_answer++];
        const std::string typed =
            answer == '\x03' ? std::string(1, answer) : answer + std::string("\n");
        if (write(master, typed.data(), typed.size()) < 0) break;
      }
    }
    close(master);
    int raw = 0;
    waitpid(child, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
  }

  TestFolder folder_{"fsck_"};
  const std::string dir_ = folder_.path();
};

TEST_F(FsckTest, SoundVolumeExitsZero) {
  const CliRun r = Cli("--image p.img fsck");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Jukepak integrity checker - V0.01\n"
            "Device found [9.76MB]- reading header...\n"
            "Clusters used: 2 - %00 of drive\n"
            "Filesystem is OK\n");
  EXPECT_EQ(r.err, "") << "no progress texts off a terminal";
}

TEST_F(FsckTest, ReadOnlyImageIsCheckedInFullAndItsRepairRefused) {
  PatchFat(5, 0x00FFFFFE);
  ASSERT_EQ(chmod(Image().c_str(), 0444), 0);
  const std::string before = Slurp(Image());
  CliRun r = Cli("--image p.img fsck -n");
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.out.find("8KB in damaged files/lost chains\n"), std::string::npos) << r.out;
  r = Cli("--image p.img fsck -y");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("8KB in damaged files/lost chains\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err,
            "songlift-cli: p.img is read-only (write-protected: mode 0444); nothing is "
            "written to it\n");
  EXPECT_EQ(Slurp(Image()), before);
}

TEST_F(FsckTest, FoundErrorsAreLeftWithoutYesAndRepairedWithIt) {
  PatchFat(5, 0x00FFFFFE);
  const std::string before = Slurp(Image());
  CliRun r = Cli("--image p.img fsck -n");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("8KB in damaged files/lost chains\n"), std::string::npos) << r.out;
  EXPECT_EQ(Slurp(Image()), before) << "-n writes nothing";

  r = Cli("--image p.img fsck -n --json");
  EXPECT_EQ(r.status, 4);
  const QJsonObject report = JsonOut(r.out).object();
  EXPECT_EQ(report["outcome"].toString(), "left") << r.out;
  EXPECT_EQ(report["exitStatus"].toInt(), 4);
  EXPECT_TRUE(report["report"].toArray().contains("8KB in damaged files/lost chains")) << r.out;
  // Every problem with its pass, code and name.
  EXPECT_EQ(report["findings"].toArray(),
            (QJsonArray{QJsonObject{{"pass", "check"},
                                    {"code", "0x0501"},
                                    {"name", "lost-clusters"},
                                    {"text", "8KB in damaged files/lost chains"}},
                        QJsonObject{{"pass", "check"},
                                    {"code", "0x0502"},
                                    {"name", "clusters-used"},
                                    {"text", "Clusters used: 2 - %00 of drive"}}}))
      << r.out;

  r = Cli("--image p.img fsck");  // no terminal to ask on
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("no terminal"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(Image()), before);

  r = Cli("--image p.img fsck -y");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("\n\n\nRepairing...\n\n8KB in damaged files/lost chains\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Repairs complete\n"), std::string::npos);
  EXPECT_EQ(Cli("--image p.img fsck -n").status, 0);
}

TEST_F(FsckTest, HeaderBeyondRepairNeedsReinit) {
  BreakHeader();
  CliRun r = Cli("--image p.img fsck -y");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("FAT starts at sector <4!\n"
                       "Fatal errors detected - filesystem will require reinitializing.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("--reinit"), std::string::npos) << r.err;
  EXPECT_EQ(Cli("--image p.img fsck -n --reinit").status, 4);
  r = Cli("--image p.img fsck --reinit");  // its own confirmation, and no terminal
  EXPECT_EQ(r.status, 4);
  r = Cli("--image p.img --yes fsck --reinit");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("Filesystem reinitialized\n"), std::string::npos) << r.out;
  EXPECT_EQ(Cli("--image p.img fsck").status, 0);
}

TEST_F(FsckTest, OperationalAndUsageErrors) {
  CliRun r = Cli("--image missing.img fsck");
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.err.find("Communications Error!"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("missing.img"), std::string::npos) << r.err;

  r = Cli("--driver /nonexistent/driver.dld fsck");
  EXPECT_EQ(r.status, 8);
  r = Cli("fsck");  // no setting, no option
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.err.find("no driver module"), std::string::npos) << r.err;

  // A shared library that is no driver: the first of the nine names is missing.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&::cos)), &info), 0);
  r = Cli(std::string("--driver '") + info.dli_fname + "' fsck");
  EXPECT_EQ(r.status, 8);
  EXPECT_NE(r.err.find("Can't locate DLL function: Open"), std::string::npos) << r.err;

  EXPECT_EQ(Cli("--image p.img fsck -n -y").status, 16);
  EXPECT_EQ(Cli("--image p.img fsck --bogus").status, 16);  // an option no command knows
}

TEST_F(FsckTest, AsksOnATerminalAndHonoursTheAnswer) {
  PatchFat(5, 0x00FFFFFE);
  const std::string before = Slurp(Image());
  CliRun r = OnTerminal("--image p.img fsck", "n");
  EXPECT_EQ(r.status, 4) << r.out;
  EXPECT_NE(r.out.find("Repair the volume? [y/N] "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Reading FAT - %00"), std::string::npos) << "progress on the terminal";
  EXPECT_EQ(Slurp(Image()), before);

  r = OnTerminal("--image p.img fsck", "y");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(Cli("--image p.img fsck").status, 0);
}

TEST_F(FsckTest, CtrlCAtTheQuestionCancels) {
  PatchFat(5, 0x00FFFFFE);
  const std::string before = Slurp(Image());
  const CliRun r = OnTerminal("--image p.img fsck", "\x03");
  EXPECT_EQ(r.status, 32) << r.out;
  EXPECT_NE(r.out.find("cancelled"), std::string::npos) << r.out;
  EXPECT_EQ(Slurp(Image()), before);

  BreakHeader();
  const CliRun reinit = OnTerminal("--image p.img fsck --reinit", "\x03");
  EXPECT_EQ(reinit.status, 32) << reinit.out;
}

TEST_F(FsckTest, HeaderFieldsThatCanBeWorkedOutAreRebuilt) {
  BreakFatStart();
  const CliRun r = Cli("--image p.img fsck -y");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("FAT starts at sector <4!\n"
                       "Header field fatStart is 3; the layout of this drive gives 4\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Cli("--image p.img fsck -n").status, 0);
}

// fsck -y --undo F, or init --undo F, then undo F: the image byte for byte.
TEST_F(FsckTest, UndoFileGivesTheImageBackByteForByte) {
  PatchFat(5, 0x00FFFFFE);
  BreakFatStart();
  const std::string damaged = Slurp(Image());
  for (const char* operation : {"fsck -y --undo f.undo", "--yes init --undo f.undo"}) {
    SCOPED_TRACE(operation);
    ASSERT_EQ(std::system(("rm -f '" + dir_ + "/f.undo'").c_str()), 0);
    CliRun r = Cli(std::string("--image p.img ") + operation);
    EXPECT_LE(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("undo file f.undo keeps the old content of"), std::string::npos) << r.err;
    ASSERT_NE(Slurp(Image()), damaged);
    EXPECT_EQ(Cli(std::string("--image p.img ") + operation).status, operation[0] == 'f' ? 8 : 1)
        << "an existing undo file is never overwritten";
    r = Cli("--image p.img undo f.undo");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Slurp(Image()) == damaged) << "the undo did not give the image back";
  }
}

TEST_F(FsckTest, UndoRefusesAVolumeChangedSinceUnlessForced) {
  PatchFat(5, 0x00FFFFFE);
  const std::string damaged = Slurp(Image());
  ASSERT_EQ(Cli("--image p.img fsck -y --undo f.undo").status, 1);
  PatchFat(7, 0x00FFFFFE);  // a change after the repair, in the FAT sector it wrote
  CliRun r = Cli("--image p.img undo f.undo");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the volume no longer holds what the operation left: 1 of the 1 sectors"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("--force"), std::string::npos);
  r = Cli("--image p.img undo f.undo --force");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Slurp(Image()) == damaged);
  EXPECT_EQ(Cli("--image p.img undo").status, 2);
  EXPECT_EQ(Cli("--image p.img fsck -n --undo g.undo").status, 16);
}

}  // namespace
