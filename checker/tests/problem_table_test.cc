// The problem table: every code has one entry with a name of its own, and
// the texts people have always read come out exactly as they were.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "checker/problem.h"

namespace jukepak::checker {
namespace {

TEST(ProblemTable, EveryCodeHasItsOwnNameAndEndsItsTextWithANewline) {
  size_t count = 0;
  const ProblemInfo* table = ProblemTable(&count);
  std::set<uint16_t> codes;
  std::set<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    const ProblemInfo& p = table[i];
    EXPECT_TRUE(codes.insert(uint16_t(p.problem)).second) << p.name;
    EXPECT_TRUE(names.insert(p.name).second) << p.name;
    EXPECT_EQ(&DescribeProblem(p.problem), &p) << p.name;
    EXPECT_EQ(std::string(p.name).find_first_not_of("abcdefghijklmnopqrstuvwxyz-"),
              std::string::npos)
        << p.name;
    EXPECT_EQ(std::string(p.text).back(), '\n') << p.name;
  }
  EXPECT_EQ(count, 38u);
}

TEST(ProblemTable, TextsFillInTheirDetails) {
  ProblemDetails d;
  d.album = "Al%bum";  // a percent sign in a name is copied, not expanded
  d.title = "Title";
  d.otherAlbum = "Other";
  d.otherTitle = "First";
  d.cd = 3;
  d.track = 7;
  d.cluster = 0x1388;
  d.first = 40;
  d.percent = 5;
  const struct {
    Problem problem;
    const char* text;
  } cases[] = {
      {Problem::kCdInvalid, "CD [3] is invalid\n"},
      {Problem::kCdNoTracks, "CD [Al%bum] has no tracks\n"},
      {Problem::kCdTrackCount, "CD [Al%bum] has invalid track count\n"},
      {Problem::kTrackStartCluster, "CD [Al%bum], Track 7 has invalid start cluster 00001388\n"},
      {Problem::kTrackSignature, "CD [Al%bum], Track 7 has invalid signature\n"},
      {Problem::kIndexMark, "[Al%bum]:[Title] has invalid index mark 00001388\n"},
      {Problem::kTooManyIndexMarks, "[Al%bum]:[Title] has too many index marks\n"},
      {Problem::kCrosslinked,
       "[Other]:[First] and [Al%bum]:[Title] are crosslinked at cluster 00001388\n"},
      {Problem::kChainUnterminated, "[Al%bum]:[Title] incorrectly terminated\n"},
      {Problem::kFatOutOfRange, "Found out-of-range FAT entries\n"},
      {Problem::kLostClusters, "40KB in damaged files/lost chains\n"},
      {Problem::kClustersUsed, "Clusters used: 40 - %05 of drive\n"},
      {Problem::kHeaderSignature, "Invalid header signature\n"},
      {Problem::kCdRunNotAtEnd, "CD's don't start at end of drive!\n"},
      {Problem::kNeedsReinitializing,
       "Fatal errors detected - filesystem will require reinitializing.\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProblemText(c.problem, d), c.text);
}

}  // namespace
}  // namespace jukepak::checker
