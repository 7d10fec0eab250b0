// Tags through the tag reader: ID3v1 fields in Latin-1 or UTF-8, every ID3v2
// version and text encoding, APE, which tag wins, and the numbers tags hold.
// Other formats' tags are read from real files in media_library_test.cc.

#include <gtest/gtest.h>
#include <taglib/apetag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <string>
#include <vector>

#include "volume/id3_tags.h"
#include "volume/song_tags.h"
#include "volume/taglib_tags.h"
#include "volume/tests/test_media.h"

namespace jukepak {
namespace {

using testing::Append;
using testing::Id3v1Block;
using testing::Mp3Audio;
using testing::TempDir;
using testing::WriteBytes;

SongTags ReadTags(const std::string& path) {
  SongTags tags;
  EXPECT_TRUE(TagLibReader().Read(path, &tags).ok()) << path;
  return tags;
}

TEST(TagReader, Id3v1FieldsAreUtf8WhenTheyHoldValidMultiByteUtf8) {
  const std::string zhe = "\xD0\x96";  // Ж, two bytes
  std::string fifteen, cut;
  for (int i = 0; i < 15; ++i) fifteen += zhe;
  cut = fifteen.substr(0, 29);  // as ffmpeg cuts a field: the last character in two
  const struct {
    std::string field, read;
  } cases[] = {
      {"Bj\xF6rk", "Bj\xC3\xB6rk"},                             // Latin-1
      {"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE"},  // Кино in UTF-8
      {fifteen, fifteen},                                       // 30 bytes, no NUL
      {cut, fifteen.substr(0, 28)},                             // the cut character goes
      {"\xC3(", "\xC3\x83("},                                   // not UTF-8: Latin-1
      {"  padded  ", "padded"},
      {std::string(30, ' '), ""},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir / "v1.mp3";
    std::vector<uint8_t> file = Mp3Audio(0.2);
    Append(&file, Id3v1Block(c.field, "Artist", "Album", 7));
    WriteBytes(path, file);
    const SongTags tags = ReadTags(path);
    EXPECT_EQ(tags.title, c.read) << c.field;
    EXPECT_EQ(tags.track, 7u);
  }
}

// A hand-made ID3v2.2 tag with one TT2 frame (TagLib writes 2.3 and 2.4 only).
std::vector<uint8_t> Id3v22Title(const std::string& latin1) {
  const uint32_t frame = uint32_t(latin1.size()) + 1;
  std::vector<uint8_t> tag = {'I', 'D', '3', 2, 0, 0, 0, 0, 0, uint8_t(6 + frame),
                              'T', 'T', '2', 0, 0, uint8_t(frame), 0};
  tag.insert(tag.end(), latin1.begin(), latin1.end());
  return tag;
}

// Saves an ID3v2 tag (version 3 or 4, texts in `encoding`) or an APE tag.
void SaveTag(const std::string& path, int version, TagLib::String::Type encoding,
             const std::string& title, const std::string& album) {
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(encoding);
  TagLib::MPEG::File file(path.c_str(), false);
  TagLib::Tag* tag = version == 0 ? static_cast<TagLib::Tag*>(file.APETag(true))
                                  : static_cast<TagLib::Tag*>(file.ID3v2Tag(true));
  tag->setTitle(TagLib::String(title, TagLib::String::UTF8));
  tag->setAlbum(TagLib::String(album, TagLib::String::UTF8));
  const int which = version == 0 ? TagLib::MPEG::File::APE : TagLib::MPEG::File::ID3v2;
  ASSERT_TRUE(file.save(which, TagLib::File::StripNone,
                        version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                        TagLib::File::DoNotDuplicate));
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::Latin1);
}

TEST(TagReader, TheRicherTagWinsFieldByFieldInEveryVersionAndEncoding) {
  const std::string title = "\xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0 with a title past 30";
  const struct {
    const char* what;
    int version;  // 2, 3, 4; 0 for APE
    TagLib::String::Type encoding;
  } cases[] = {
      {"ID3v2.3 UTF-16", 3, TagLib::String::UTF16},
      {"ID3v2.4 UTF-8", 4, TagLib::String::UTF8},
      {"ID3v2.4 UTF-16BE", 4, TagLib::String::UTF16BE},
      {"ID3v2.4 Latin-1", 4, TagLib::String::Latin1},
      {"APE", 0, TagLib::String::UTF8},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir / "v2.mp3";
    std::vector<uint8_t> file = Mp3Audio(0.2);
    Append(&file, Id3v1Block("V1 title", "V1 artist", "V1 album", 3));
    WriteBytes(path, file);
    const bool latin1 = c.encoding == TagLib::String::Latin1;
    SaveTag(path, c.version, c.encoding, latin1 ? "Caf\xC3\xA9" : title, "");
    const SongTags tags = ReadTags(path);
    EXPECT_EQ(tags.title, latin1 ? "Caf\xC3\xA9" : title);
    EXPECT_EQ(tags.artist, "V1 artist");  // the richer tags lack it
    EXPECT_EQ(tags.album, "V1 album");
  }
  const std::string path = dir / "v22.mp3";
  std::vector<uint8_t> file = Id3v22Title("Old \xE9");
  Append(&file, Mp3Audio(0.2));
  WriteBytes(path, file);
  EXPECT_EQ(ReadTags(path).title, "Old \xC3\xA9");
}

TEST(TagReader, FilesWithoutTagsOrThatTagLibDoesNotKnowGiveNoTexts) {
  TempDir dir;
  WriteBytes(dir / "plain.mp3", Mp3Audio(0.2));
  WriteBytes(dir / "odd.xyz", std::vector<uint8_t>(300, 0x42));
  EXPECT_FALSE(ReadTags(dir / "plain.mp3").HasTexts());
  EXPECT_FALSE(ReadTags(dir / "odd.xyz").HasTexts());
  EXPECT_FALSE(ReadTags(dir / "missing.flac").HasTexts());
}

TEST(TagNumbers, TrackAndDiscNumbersAsTagsWriteThem) {
  const struct {
    const char* text;
    uint32_t number;
  } cases[] = {{"7", 7},   {" 07 ", 7}, {"2/10", 2}, {"12 / 12", 12}, {"999", 999},
               {"x/y", 0}, {"3a", 0},   {"", 0},     {"/5", 0},      {"99999", 0},
               {"0", 0},   {"-1", 0},   {"1000", 0}, {"18446744073709551617", 0}};
  for (const auto& c : cases) EXPECT_EQ(ParseTagNumber(c.text), c.number) << c.text;
}

TEST(Id3v2TagLength, ImpossibleSizesGiveNoTag) {
  std::vector<uint8_t> head = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 0};  // 256 + 10 bytes
  EXPECT_EQ(Id3v2TagLength(head, 266), 266u);
  EXPECT_EQ(Id3v2TagLength(head, 265), 0u);  // longer than the file
  head[8] = 0x80;                            // not synchsafe
  EXPECT_EQ(Id3v2TagLength(head, 1u << 30), 0u);
}

}  // namespace
}  // namespace jukepak
