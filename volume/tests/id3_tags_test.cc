// ID3v1 fields and their trimming.

#include "volume/id3_tags.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace jukepak {
namespace {

std::array<uint8_t, 128> Block() {
  std::array<uint8_t, 128> block{};
  std::memcpy(block.data(), "TAG", 3);
  return block;
}

void Put(std::array<uint8_t, 128>& block, size_t at, const char* text, size_t width = 30) {
  std::memset(block.data() + at, 0, width);
  std::memcpy(block.data() + at, text, std::strlen(text));
}

TEST(Id3v1, FieldsAreTrimmedAndTheTrackByteIsSigned) {
  auto block = Block();
  Put(block, 3, "Title with spaces   ");
  std::memset(block.data() + 33, ' ', 30);
  block[33] = 'A';  // one character, then spaces to the end of the field
  Put(block, 63, "  Album");
  block[126] = 0xFF;
  Id3v1Tag tag;
  ASSERT_TRUE(ParseId3v1(block, &tag));
  EXPECT_EQ(tag.title, "Title with spaces");
  EXPECT_EQ(tag.artist, "A");
  EXPECT_EQ(tag.album, "  Album");  // leading spaces stay
  EXPECT_EQ(tag.trackNumber, -1);
}

TEST(Id3v1, FullWidthFieldsAndBlankFields) {
  auto block = Block();
  std::memset(block.data() + 3, 'x', 30);  // no NUL at all: 30 characters
  std::memset(block.data() + 63, ' ', 30);
  block[126] = 7;
  Id3v1Tag tag;
  ASSERT_TRUE(ParseId3v1(block, &tag));
  EXPECT_EQ(tag.title, std::string(30, 'x'));
  EXPECT_EQ(tag.album, "");
  EXPECT_EQ(tag.artist, "");
  EXPECT_EQ(tag.trackNumber, 7);
}

TEST(Id3v1, TextAfterTheFirstNulIsIgnoredAndLatin1Kept) {
  auto block = Block();
  Put(block, 33, "Bj\xF6rk");
  block[33 + 10] = 'Z';  // after the NUL
  Id3v1Tag tag;
  ASSERT_TRUE(ParseId3v1(block, &tag));
  EXPECT_EQ(tag.artist, "Bj\xF6rk");
}

TEST(Id3v1, OnlyUpperCaseTagCounts) {
  auto block = Block();
  block[0] = 't';
  Id3v1Tag tag;
  tag.title = "unchanged";
  EXPECT_FALSE(ParseId3v1(block, &tag));
  EXPECT_EQ(tag.title, "unchanged");
}

}  // namespace
}  // namespace jukepak
