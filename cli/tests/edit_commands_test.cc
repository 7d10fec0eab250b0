// rm, mv, rename, check and export, run as the built songlift-cli on image
// files laid out as a sync writes them.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "cli/tests/cli_runner.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/id3_tags.h"
#include "volume/testing/engine_volume.h"

namespace {

using songlift::cli::testing::Compact;
using songlift::cli::testing::JsonOut;

using jukepak::MemoryDevice;
using jukepak::testing::CdContent;
using jukepak::testing::SongContent;
using jukepak::testing::TestAudio;

constexpr uint32_t kSectors = 8000;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (char ch : word) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return quoted + "'";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class EditCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jukepak-cli-edits-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    image_ = dir_ + "/player.img";
  }
  void TearDown() override { ASSERT_EQ(std::system(("rm -rf " + Quote(dir_)).c_str()), 0); }

  // CD 1 "Band / First" with tracks 1..4 (1, 2, 3 and 1 clusters), CD 2
  // "Other / Second" with x and y, CD 3 an empty CD.
  void WriteImage() {
    std::vector<CdContent> cds = {
        {"Band", "First", {}}, {"Other", "Second", {}}, {"Band", "Empty", {}}};
    const size_t sizes[] = {5000, 9000, 20000, 100};
    for (int i = 0; i < 4; ++i) {
      cds[0].songs.push_back(
          SongContent{std::to_string(i + 1), "Band", TestAudio(sizes[i], uint32_t(i))});
    }
    cds[1].songs.push_back(SongContent{"x", "Other", TestAudio(7169, 10)});
    cds[1].songs.push_back(SongContent{"y", "Guest", TestAudio(0, 11)});
    WriteImage(cds);
  }
  void WriteImage(const std::vector<CdContent>& cds) {
    MemoryDevice disk(kSectors);
    ASSERT_TRUE(jukepak::testing::BuildVolume(&disk, cds).ok());
    ASSERT_TRUE(jukepak::testing::SaveImage(disk, image_).ok());
    songs_ = cds;
  }

  // songlift-cli --image IMAGE ARGS..., stdin from /dev/null.
  CliRun Cli(const std::vector<std::string>& args, bool yes = false) {
    std::string command = Quote(std::string(JUKEPAK_BIN_DIR) + "/songlift-cli") + " --image " +
                          Quote(image_) + (yes ? " --yes" : "");
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(dir_ + "/out") + " 2>" + Quote(dir_ + "/err") + " </dev/null";
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir_ + "/out");
    run.err = ReadText(dir_ + "/err");
    return run;
  }
  std::string Ls() {
    const CliRun run = Cli({"ls"});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  }

  std::string dir_;
  std::string image_;
  std::vector<CdContent> songs_;
};

constexpr char kStartListing[] =
    "1 Band / First\n  1 1\n  2 2\n  3 3\n  4 4\n"
    "2 Other / Second\n  1 x\n  2 Guest / y\n"
    "3 Band / Empty\n";

TEST_F(EditCommandsTest, RmDeletesATrackOrAWholeCdAfterConfirmation) {
  WriteImage();
  ASSERT_EQ(Ls(), kStartListing);

  CliRun run = Cli({"rm", "1", "2"});  // no terminal, no --yes
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("confirm with --yes"), std::string::npos) << run.err;
  EXPECT_EQ(Ls(), kStartListing);

  run = Cli({"rm", "1", "2"}, true);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Ls(),
            "1 Band / First\n  1 1\n  2 3\n  3 4\n"
            "2 Other / Second\n  1 x\n  2 Guest / y\n3 Band / Empty\n");

  EXPECT_EQ(Cli({"rm", "2"}, true).status, 0);  // a CD with two tracks
  EXPECT_EQ(Cli({"rm", "2"}, true).status, 0);  // the empty CD, now CD 2
  EXPECT_EQ(Ls(), "1 Band / First\n  1 1\n  2 3\n  3 4\n");
  run = Cli({"check"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;

  // The only track left of a CD takes the CD with it.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Cli({"rm", "1", "1"}, true).status, 0);
  EXPECT_EQ(Ls(), "");
  EXPECT_EQ(Cli({"check"}).out, "No errors were detected in the file system\n");
}

TEST_F(EditCommandsTest, MvPlacesTheTrackWhereAtSaysAndLastByDefault) {
  const struct {
    std::vector<std::string> args;
    const char* first_cd;
  } cases[] = {
      {{"mv", "1", "1", "--to", "1", "--at", "3"}, "2 3 1 4"},  // the drag onto track 3
      {{"mv", "1", "4", "--to", "1", "--at", "2"}, "1 4 2 3"},  // the drag onto track 2
      {{"mv", "1", "2", "--to", "1"}, "1 3 4 2"},
      {{"mv", "1", "2", "--to", "1", "--at", "2"}, "1 2 3 4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first_cd);
    ASSERT_EQ(std::system(("rm -f " + Quote(image_)).c_str()), 0);
    WriteImage();
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected = "1 Band / First\n";
    for (size_t i = 0; i < 4; ++i) {
      expected += "  " + std::to_string(i + 1) + " " + c.first_cd[2 * i] + "\n";
    }
    expected += "2 Other / Second\n  1 x\n  2 Guest / y\n3 Band / Empty\n";
    EXPECT_EQ(Ls(), expected);
  }
}

TEST_F(EditCommandsTest, MvBetweenCdsAppendsOrInsertsAndMayLeaveAnEmptyCd) {
  WriteImage();
  EXPECT_EQ(Cli({"mv", "2", "1", "--to", "3"}).status, 0);
  EXPECT_EQ(Cli({"mv", "2", "1", "--to", "1", "--at", "1"}).status, 0);
  EXPECT_EQ(Ls(),
            "1 Band / First\n  1 Guest / y\n  2 1\n  3 2\n  4 3\n  5 4\n"
            "2 Other / Second\n"
            "3 Band / Empty\n  1 Other / x\n");
  const CliRun run = Cli({"check"});
  EXPECT_EQ(run.status, 0) << run.out;

  CliRun past = Cli({"mv", "3", "1", "--to", "1", "--at", "7"});
  EXPECT_EQ(past.status, 1);
  EXPECT_NE(past.err.find("1 to 6"), std::string::npos) << past.err;
}

TEST_F(EditCommandsTest, MvIntoAFullCdIsRefused) {
  CdContent full{"Band", "Full", {}};
  for (int i = 0; i < 100; ++i) full.songs.push_back(SongContent{"f", "Band", TestAudio(10, 1)});
  WriteImage({full, CdContent{"Band", "Small", {SongContent{"s", "Band", TestAudio(10, 2)}}}});
  const std::string before = Ls();
  const CliRun run = Cli({"mv", "2", "1", "--to", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "songlift-cli: No more tracks allowed on this CD\n");
  EXPECT_EQ(Ls(), before);
}

TEST_F(EditCommandsTest, RenameChangesWhatIsGivenAndKeepsTheRest) {
  WriteImage();
  EXPECT_EQ(Cli({"rename", "2", "--artist", "Guest"}).status, 0);
  EXPECT_EQ(Cli({"rename", "1", "3", "--title", "Caf\xC3\xA9 au lait"}).status, 0);
  EXPECT_EQ(Cli({"rename", "1", "4", "--artist", "", "--title", ""}).status, 0);
  // Typed text becomes the player's text as tags do: Кино is transliterated.
  EXPECT_EQ(Cli({"rename", "1", "1", "--title", "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE"}).status, 0);
  EXPECT_EQ(Ls(),
            "1 Band / First\n  1 Kino\n  2 2\n  3 Caf\xC3\xA9 au lait\n  4  / \n"
            "2 Guest / Second\n  1 Other / x\n  2 y\n"
            "3 Band / Empty\n");
  const CliRun json = Cli({"--json", "ls"});
  EXPECT_NE(json.out.find("\"title\":\"Caf\xC3\xA9 au lait\""), std::string::npos) << json.out;
}

TEST_F(EditCommandsTest, AMisplacedCdRunIsListedButNotChanged) {
  WriteImage();
  MemoryDevice disk(kSectors);
  {
    std::ifstream in(image_, std::ios::binary);
    in.read(reinterpret_cast<char*>(disk.bytes().data()), std::streamsize(disk.bytes().size()));
  }
  jukepak::VolumeHeader h;
  std::memcpy(h.data(), disk.sector(0), jukepak::format::kHeaderSize);
  const uint32_t low = h.cdStart() - 40;  // the run moved down into the audio area
  std::memmove(disk.sector(low), disk.sector(h.cdStart()), size_t(h.cdCount()) * 512);
  h.setCdStart(low);
  std::memcpy(disk.sector(0), h.data(), jukepak::format::kHeaderSize);
  ASSERT_EQ(std::remove(image_.c_str()), 0);
  ASSERT_TRUE(jukepak::testing::SaveImage(disk, image_).ok());
  const std::string before = ReadText(image_);

  EXPECT_EQ(Ls(), kStartListing);
  const CliRun rm = Cli({"rm", "1", "1"}, true);
  EXPECT_NE(rm.status, 0);
  EXPECT_NE(rm.err.find("The player's directory is damaged: run Volmend"), std::string::npos)
      << rm.err;
  EXPECT_TRUE(ReadText(image_) == before);
}

TEST_F(EditCommandsTest, CheckPrintsTheCountsAndExitsOneOnErrors) {
  MemoryDevice disk(kSectors);
  jukepak::testing::VolumeBuilder builder(&disk);
  ASSERT_TRUE(builder.Format().ok());
  ASSERT_TRUE(
      builder.AddCd(CdContent{"A", "B", {SongContent{"t", "A", TestAudio(20000, 1)}}}).ok());
  CliRun run;
  uint32_t leftover = 0;
  ASSERT_TRUE(builder.AddLeftoverChain(2, &leftover).ok());
  ASSERT_TRUE(jukepak::testing::SaveImage(disk, image_).ok());
  run = Cli({"check"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "The filesystem has errors: \nNull-Linkages: 1\nMultiple-Linkages:0\n"
            "Free-Linkages: 0\n");
  run = Cli({"check", "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(
      Compact(JsonOut(run.out).object()),
      Compact(QJsonObject{
          {"nullLinkages", 1}, {"multipleLinkages", 0}, {"freeLinkages", 0}, {"clean", false}}));
}

TEST_F(EditCommandsTest, ExportOfEveryTrackGivesBackTheAudioBytes) {
  WriteImage();
  const CliRun listing = Cli({"--json", "ls"});
  for (size_t cd = 0; cd < songs_.size(); ++cd) {
    for (size_t t = 0; t < songs_[cd].songs.size(); ++t) {
      const std::string path = dir_ + "/" + std::to_string(cd) + "-" + std::to_string(t) + ".mp3";
      const CliRun run = Cli({"export", std::to_string(cd + 1), std::to_string(t + 1), path});
      ASSERT_EQ(run.status, 0) << run.err;
      const std::string file = ReadText(path);
      const std::vector<uint8_t>& audio = songs_[cd].songs[t].audio;
      // An ID3v2 tag, the audio bytes, an ID3v1 block.
      const size_t id3v2 = size_t(jukepak::Id3v2TagLength(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(file.data()), file.size())));
      ASSERT_GT(id3v2, 10u);
      ASSERT_EQ(file.size(), id3v2 + audio.size() + 128);
      EXPECT_TRUE(std::equal(audio.begin(), audio.end(),
                             reinterpret_cast<const uint8_t*>(file.data()) + id3v2));
      EXPECT_NE(file.find(songs_[cd].songs[t].title), std::string::npos) << "in the ID3v2 tag";
      EXPECT_EQ(file.substr(id3v2 + audio.size(), 3), "TAG");
      EXPECT_EQ(file.substr(id3v2 + audio.size() + 3, songs_[cd].songs[t].title.size()),
                songs_[cd].songs[t].title);
    }
  }
  const CliRun again = Cli({"export", "1", "1", dir_ + "/0-0.mp3"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
}

TEST_F(EditCommandsTest, BadNumbersAndOptionsAreRefusedWithoutChangingAnything) {
  WriteImage();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"rm", "9"}, 1, "there is no CD 9; the player holds 3 CDs"},
      {{"rm", "3", "1"}, 1, "CD 3 has no track 1; it holds none"},
      {{"rm", "2", "3"}, 1, "CD 2 has no track 3; it holds 2 tracks"},
      {{"rm", "0"}, 2, "numbers from 1"},
      {{"rm", "one"}, 2, "numbers from 1"},
      {{"rm"}, 2, "rm needs CD"},
      {{"mv", "1", "1"}, 2, "mv needs CD TRACK --to CD"},
      {{"mv", "1", "1", "--to", "4"}, 1, "there is no CD 4"},
      {{"mv", "1", "1", "--to", "1", "--at", "5"}, 1, "1 to 4"},
      {{"mv", "1", "1", "--to", "1", "--at", "0"}, 2, "numbers from 1"},
      {{"mv", "1", "1", "--to", "2", "--to", "3"}, 2, "given twice"},
      {{"mv", "1", "1", "--onto", "2"}, 2, "unknown option --onto"},
      {{"rename", "1"}, 2, "--artist A, --title T or both"},
      {{"rename", "1", "--title"}, 2, "--title needs a value"},
      {{"rename", "1", "5", "--title", "t"}, 1, "CD 1 has no track 5"},
      {{"check", "now"}, 2, "check takes no arguments"},
      {{"export", "1", "1"}, 2, "export needs CD TRACK FILE"},
      {{"export", "1", "9", dir_ + "/no.mp3"}, 1, "CD 1 has no track 9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    const CliRun run = Cli(c.args, true);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_EQ(Ls(), kStartListing);
  EXPECT_NE(access((dir_ + "/no.mp3").c_str(), F_OK), 0);
}

}  // namespace
