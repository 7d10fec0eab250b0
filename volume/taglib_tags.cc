#include "volume/taglib_tags.h"

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <mutex>
#include <string_view>
#include <vector>

#include "base/debug_channel.h"
#include "base/player_text.h"

namespace jukepak {
namespace {

class Id3v1Texts : public TagLib::ID3v1::StringHandler {
 public:
  TagLib::String parse(const TagLib::ByteVector& data) const override {
    unsigned size = 0;
    while (size < data.size() && data[size] != 0) ++size;
    const std::string_view bytes(data.data(), size);
    const size_t utf8 = Utf8LengthCutAtEnd(bytes);
    const bool multibyte = utf8 != std::string_view::npos &&
                           std::any_of(bytes.begin(), bytes.begin() + long(utf8),
                                       [](char c) { return uint8_t(c) >= 0x80; });
    if (multibyte) {
      return TagLib::String(data.mid(0, unsigned(utf8)), TagLib::String::UTF8).stripWhiteSpace();
    }
    return TagLib::String(data.mid(0, size), TagLib::String::Latin1).stripWhiteSpace();
  }
};

class DebugChannelListener : public TagLib::DebugListener {
 public:
  void printMessage(const TagLib::String& message) override {
    DebugPrint("taglib: %s", message.to8Bit(true).c_str());
  }
};

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    static Id3v1Texts id3v1;
    static DebugChannelListener listener;
    TagLib::ID3v1::Tag::setStringHandler(&id3v1);
    TagLib::setDebugListener(&listener);
  });
}

std::string Utf8(const TagLib::String& text) { return text.stripWhiteSpace().to8Bit(true); }

// The first non-empty value of `keys` in the first map that has one.
std::string FirstValue(const std::vector<TagLib::PropertyMap>& maps,
                       std::initializer_list<const char*> keys) {
  for (const TagLib::PropertyMap& map : maps) {
    for (const char* key : keys) {
      const auto found = map.find(key);
      if (found == map.end() || found->second.isEmpty()) continue;
      std::string value;
      for (const TagLib::String& part : found->second) {
        const std::string text = Utf8(part);
        if (text.empty()) continue;
        value += (value.empty() ? "" : ", ") + text;
      }
      if (!value.empty()) return value;
    }
  }
  return "";
}

// The property maps of a file's tags, richest first.
std::vector<TagLib::PropertyMap> TagMaps(TagLib::File* file) {
  std::vector<TagLib::PropertyMap> maps;
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    if (mpeg->hasID3v2Tag()) maps.push_back(mpeg->ID3v2Tag()->properties());
    if (mpeg->hasAPETag()) maps.push_back(mpeg->APETag()->properties());
    if (mpeg->hasID3v1Tag()) maps.push_back(mpeg->ID3v1Tag()->properties());
    return maps;
  }
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    if (flac->hasXiphComment()) maps.push_back(flac->xiphComment()->properties());
    if (flac->hasID3v2Tag()) maps.push_back(flac->ID3v2Tag()->properties());
    if (flac->hasID3v1Tag()) maps.push_back(flac->ID3v1Tag()->properties());
    return maps;
  }
  maps.push_back(file->properties());
  return maps;
}

bool IsTrue(const std::string& value) { return value == "1" || value == "true" || value == "yes"; }

class Reader : public TagReader {
 public:
  Result Read(const std::string& path, SongTags* tags) override {
    *tags = SongTags();
    InstallHandlers();
    try {
      TagLib::FileRef ref(path.c_str(), false);
      if (ref.isNull() || !ref.file()->isValid()) return Result::Ok();
      const std::vector<TagLib::PropertyMap> maps = TagMaps(ref.file());
      tags->title = FirstValue(maps, {"TITLE"});
      tags->artist = FirstValue(maps, {"ARTIST"});
      tags->album = FirstValue(maps, {"ALBUM"});
      tags->albumArtist = FirstValue(maps, {"ALBUMARTIST", "ALBUM ARTIST", "ALBUM_ARTIST"});
      tags->track = ParseTagNumber(FirstValue(maps, {"TRACKNUMBER"}));
      tags->disc = ParseTagNumber(FirstValue(maps, {"DISCNUMBER"}));
      // ffmpeg writes the flag of an MP3 as a TXXX frame named "TCMP".
      tags->compilation = IsTrue(FirstValue(maps, {"COMPILATION", "TCMP"}));
      return Result::Ok();
    } catch (...) {
      *tags = SongTags();
      return Result::Error(ResultCode::kIoError, "Could not read the file's tags!");
    }
  }
};

TagLib::String Latin1(const std::string& text) {
  return TagLib::String(text, TagLib::String::Latin1);
}

void SetAlbumArtist(TagLib::ID3v2::Tag* tag, const std::string& album_artist) {
  tag->removeFrames("TPE2");
  if (album_artist.empty()) return;
  auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TPE2", TagLib::String::Latin1);
  frame->setText(Latin1(album_artist));
  tag->addFrame(frame);  // the tag owns it from here
}

class Writer : public TagWriter {
 public:
  Result Write(const std::string& path, const ExportTags& texts) override {
    InstallHandlers();
    const Result failed = Result::Error(ResultCode::kIoError, "cannot write the tags of " + path);
    try {
      TagLib::MPEG::File file(path.c_str(), false);
      if (!file.isValid()) return failed;
      TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
      tag->setTitle(Latin1(texts.title));
      tag->setArtist(Latin1(texts.artist));
      tag->setAlbum(Latin1(texts.album));
      tag->setTrack(texts.track);
      SetAlbumArtist(tag, texts.albumArtist);
      const bool saved = file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                                   TagLib::ID3v2::v3, TagLib::File::DoNotDuplicate);
      return saved ? Result::Ok() : failed;
    } catch (...) {
      return failed;
    }
  }
};

}  // namespace

TagReader& TagLibReader() {
  static Reader reader;
  return reader;
}

TagWriter& TagLibWriter() {
  static Writer writer;
  return writer;
}

}  // namespace jukepak
