// songlift-cli sync, run as a program on an image file: what it writes, its
// dry run, its exit status on bad input, and Ctrl-C in the middle of a sync.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "volume/tests/test_media.h"
#include "volume/tests/volume_audit.h"

extern char** environ;

namespace songlift::cli {
namespace {

using jukepak::testing::ReadBytes;
using jukepak::testing::TaggedMp3;
using jukepak::testing::TempDir;
using jukepak::testing::WriteBytes;

struct CliRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs songlift-cli with `args`, no standard input, in `dir`.
CliRun Cli(const TempDir& dir, const std::vector<std::string>& args, pid_t* started = nullptr,
           bool wait = true) {
  const std::string program = std::string(JUKEPAK_BIN_DIR) + "/songlift-cli";
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const std::string out = dir / ".out", err = dir / ".err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
  pid_t pid = 0;
  CliRun run;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) return run;
  posix_spawn_file_actions_destroy(&actions);
  if (started != nullptr) *started = pid;
  if (!wait) return run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const auto o = ReadBytes(out), e = ReadBytes(err);
  run.out.assign(o.begin(), o.end());
  run.err.assign(e.begin(), e.end());
  return run;
}

class SyncCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeImage(20000); }
  void MakeImage(uint32_t sectors) {
    std::filesystem::remove(dir_ / "p.img");
    ASSERT_EQ(Cli(dir_, {"mkimage", "p.img", std::to_string(sectors)}).status, 0);
    ASSERT_EQ(Cli(dir_, {"--image", "p.img", "--yes", "init"}).status, 0);
  }
  CliRun Sync(std::vector<std::string> args) {
    args.insert(args.begin(), {"--image", "p.img", "sync"});
    return Cli(dir_, args);
  }
  std::string Ls() { return Cli(dir_, {"--image", "p.img", "ls"}).out; }

  TempDir dir_;
};

TEST_F(SyncCommandTest, FilesAndFoldersAreWrittenAsADropWouldAddThem) {
  std::filesystem::create_directory(dir_ / "Live Set");
  WriteBytes(dir_ / "Live Set/b.MP3", TaggedMp3(1.0, "Second", "Band", "", 2));
  WriteBytes(dir_ / "Live Set/a.mp3", TaggedMp3(1.0, "First", "Band", "", 1));
  WriteBytes(dir_ / "Caf\xC3\xA9 song.mp3", jukepak::testing::Mp3Audio(0.5));
  const CliRun run = Sync({"Live Set", "Caf\xC3\xA9 song.mp3"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Wrote 3 of 3 songs"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");  // no terminal: no progress line
  EXPECT_EQ(
      Ls(),
      "1 Band / Live Set\n  1 First\n  2 Second\n2 Unknown / New CD\n  1 Caf\xC3\xA9 song.mp3\n");

  jukepak::MemoryDevice disk(20000);
  disk.bytes() = ReadBytes(dir_ / "p.img");
  const jukepak::testing::Audit audit = jukepak::testing::AuditVolume(disk);
  EXPECT_TRUE(audit.errors.empty()) << ::testing::PrintToString(audit.errors);
  EXPECT_EQ(audit.leakedClusters, 0u);
}

TEST_F(SyncCommandTest, DryRunListsAndWritesNothing) {
  WriteBytes(dir_ / "a.mp3", TaggedMp3(1.0, "Song", "Artist", "Album", 1));
  const std::vector<uint8_t> before = ReadBytes(dir_ / "p.img");
  const CliRun run = Sync({"--dry-run", "a.mp3"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Artist / Album  (new)\n  1 Song  0.02 Mb  a.mp3\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Download Size: 0.03 Mb (32 KB)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Free Space: "), std::string::npos);
  EXPECT_TRUE(ReadBytes(dir_ / "p.img") == before);
  const CliRun json = Cli(dir_, {"--image", "p.img", "--json", "sync", "-n", "a.mp3"});
  EXPECT_NE(json.out.find("\"downloadKB\":32"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"fits\":true"), std::string::npos);
}

TEST_F(SyncCommandTest, BadInputFailsButWritesWhatItCan) {
  WriteBytes(dir_ / "good.mp3", TaggedMp3(0.5, "Good", "A", "B", 1));
  WriteBytes(dir_ / "empty.mp3", {});
  WriteBytes(dir_ / "notes.mp3", {'m', 'i', 'l', 'k', '\n'});
  std::filesystem::create_directory(dir_ / "no mp3 here");
  {
    std::ofstream list(dir_ / "list.m3u");
    list << "# a comment\nhttp://radio.example/live.mp3\nlist.m3u\n";
  }
  const CliRun run =
      Sync({"missing.mp3", "good.mp3", "empty.mp3", "notes.mp3", "no mp3 here", "list.m3u"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("missing.mp3: Could not open file!\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("empty.mp3: The file is empty!\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("notes.mp3: not an audio file\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("http://radio.example/live.mp3: a URL, not a file on this computer\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("list.m3u: the playlist lists itself\n"), std::string::npos) << run.err;
  EXPECT_EQ(Ls(), "1 A / B\n  1 Good\n");
  EXPECT_EQ(Sync({}).status, 2);
  EXPECT_EQ(Sync({"--bitrate", "200", "good.mp3"}).status, 2);
}

TEST_F(SyncCommandTest, RepeatedSyncsWriteNothingNewUnlessDuplicatesAreAllowed) {
  std::filesystem::create_directories(dir_ / "Album/Disc 2");
  WriteBytes(dir_ / "Album/a.mp3", TaggedMp3(0.5, "A", "Band", "Album", 1));
  WriteBytes(dir_ / "Album/Disc 2/b.mp3", TaggedMp3(0.5, "B", "Band", "Album", 2));
  const std::string make_wav = "ffmpeg -hide_banner -loglevel error -f lavfi -i "
                               "sine=duration=0.5 -y '" + (dir_ / "Album/c.wav") + "'";
  ASSERT_EQ(std::system(make_wav.c_str()), 0) << "ffmpeg is needed";

  CliRun run = Sync({"Album"});  // without -r the sub-folder stays out
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Ls(), "1 Band / Album\n  1 A\n2 Unknown / New CD\n  1 c.wav\n");
  run = Sync({"-r", "--bitrate", "128", "Album"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("already on the player: Band / A\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("already on the player: Unknown / c.wav\n"), std::string::npos);
  EXPECT_NE(run.out.find("Wrote 1 of 3 songs"), std::string::npos) << run.out;
  EXPECT_EQ(Ls(), "1 Band / Album\n  1 A\n  2 B\n2 Unknown / New CD\n  1 c.wav\n");

  const std::vector<uint8_t> before = ReadBytes(dir_ / "p.img");
  run = Sync({"--recursive", "Album"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Wrote 0 of 3 songs"), std::string::npos) << run.out;
  EXPECT_TRUE(ReadBytes(dir_ / "p.img") == before);

  run = Sync({"--allow-duplicates", "Album"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Ls(), "1 Band / Album\n  1 A\n  2 B\n  3 A\n2 Unknown / New CD\n  1 c.wav\n  2 c.wav\n");
}

TEST_F(SyncCommandTest, SongsTooLargeForThePlayerWriteNothing) {
  MakeImage(1000);  // 59 free clusters, 472 KB
  WriteBytes(dir_ / "big.mp3", TaggedMp3(40.0, "Big", "A", "B", 1));
  const std::vector<uint8_t> before = ReadBytes(dir_ / "p.img");
  const CliRun run = Sync({"big.mp3"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Your pending songs are too large for the player.  Please remove some "
                         "songs from the pending list."),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(ReadBytes(dir_ / "p.img") == before);
}

TEST_F(SyncCommandTest, ARepeatedSyncNeedsNoRoomForSongsOnThePlayer) {
  MakeImage(1000);  // 59 free clusters: room for the song once
  WriteBytes(dir_ / "s.mp3", TaggedMp3(20.0, "S", "A", "B", 1));
  ASSERT_EQ(Sync({"s.mp3"}).status, 0);
  const CliRun again = Sync({"s.mp3"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("already on the player: A / S\n"), std::string::npos) << again.out;
  EXPECT_EQ(Sync({"--allow-duplicates", "s.mp3"}).status, 1);  // a second copy does not fit
}

struct timespec ModifiedAt(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mtim;
}

TEST_F(SyncCommandTest, CtrlCEndsTheSyncCleanlyAfterTheClusterInHand) {
  MakeImage(100000);
  std::vector<std::string> args = {"--image", "p.img", "sync"};
  for (int i = 0; i < 40; ++i) {
    const std::string name = "s" + std::to_string(100 + i) + ".mp3";
    WriteBytes(dir_ / name, TaggedMp3(30.0, "T" + std::to_string(100 + i), "A", "B", 0));
    args.push_back(name);
  }
  const struct timespec initialized = ModifiedAt(dir_ / "p.img");
  pid_t pid = 0;
  Cli(dir_, args, &pid, false);
  ASSERT_GT(pid, 0);
  // The image changes first when the job writes its first cluster; the
  // handler is in place by then.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const struct timespec now = ModifiedAt(dir_ / "p.img");
    if (now.tv_sec != initialized.tv_sec || now.tv_nsec != initialized.tv_nsec) break;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of cancelling";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const auto err = ReadBytes(dir_ / ".err");
  EXPECT_NE(std::string(err.begin(), err.end()).find("The sync was cancelled"), std::string::npos);

  jukepak::MemoryDevice disk(100000);
  disk.bytes() = ReadBytes(dir_ / "p.img");
  jukepak::testing::Audit audit = jukepak::testing::AuditVolume(disk);
  EXPECT_TRUE(audit.errors.empty()) << ::testing::PrintToString(audit.errors);
  EXPECT_EQ(audit.leakedClusters, 0u);
  const size_t written = audit.cds.empty() ? 0 : audit.cds[0].tracks.size();
  EXPECT_LT(written, 40u);

  // The next sync writes the rest.
  std::vector<std::string> rest = {"--image", "p.img", "sync"};
  rest.insert(rest.end(), args.begin() + 3 + long(written), args.end());
  EXPECT_EQ(Cli(dir_, rest).status, 0);
  disk.bytes() = ReadBytes(dir_ / "p.img");
  audit = jukepak::testing::AuditVolume(disk);
  EXPECT_TRUE(audit.errors.empty()) << ::testing::PrintToString(audit.errors);
  ASSERT_EQ(audit.cds.size(), 1u);
  ASSERT_EQ(audit.cds[0].tracks.size(), 40u);
  for (size_t t = 0; t < 40; ++t) {
    EXPECT_EQ(audit.cds[0].tracks[t].record.title(), "T" + std::to_string(100 + t));
  }
}

}  // namespace
}  // namespace songlift::cli
