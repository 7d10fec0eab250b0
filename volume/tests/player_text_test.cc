// Unicode into the player's 8-bit text: Latin-1 kept, the rest
// transliterated, "?" as the last resort, and the cut to a field.

#include "base/player_text.h"

#include <gtest/gtest.h>

#include <string>

namespace jukepak {
namespace {

TEST(PlayerText, LatinOneIsKeptAndOtherScriptsAreTransliterated) {
  const struct {
    std::string utf8, player;
  } cases[] = {
      {"Bj\xC3\xB6rk J\xC3\xB3ga", "Bj\xF6rk J\xF3ga"},
      {"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "Kino"},                             // Кино
      {"\xD0\x93\xD1\x80\xD1\x83\xD0\xBF\xD0\xBF\xD0\xB0 \xD0\xBA\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB8",
       "Gruppa krovi"},                                                          // Группа крови
      {"a \xE2\x80\x94 b", "a - b"},                                             // em dash
      {"\xE6\x9D\xB1\xE4\xBA\xAC", "dong jing"},                                 // 東京
      {"\xC5\xA0ko\xC5\xA1", "Skos"},                                            // Škoš
      {"e\xCC\x81t\xC3\xA9", "\xE9t\xE9"},                                       // e + combining acute
      {"10 \xE2\x82\xAC", "10 EUR"},
      {"\xF0\x9F\x8E\xB5 song", "? song"},                                       // what nothing reaches
      {"bad \xFF byte", "bad ? byte"},
      {"tab\there", "tab here"},
  };
  for (const auto& c : cases) EXPECT_EQ(PlayerTextFromUtf8(c.utf8), c.player) << c.utf8;
}

TEST(PlayerText, FieldsAreCutTo47CharactersAfterConversion) {
  // 46 Latin-1 letters, then a two-byte character: the cut keeps it whole.
  const std::string text = std::string(46, 'a') + "\xC3\xA9" + "zzz";
  EXPECT_EQ(PlayerFieldFromUtf8(text), std::string(46, 'a') + "\xE9");
  // Щ becomes "Shch": the cut counts the player's characters.
  std::string cyrillic;
  for (int i = 0; i < 20; ++i) cyrillic += "\xD0\xA9";
  EXPECT_EQ(PlayerFieldFromUtf8(cyrillic).size(), 47u);
  EXPECT_EQ(PlayerFieldFromUtf8(std::string(46, 'a') + " b"), std::string(46, 'a'));
}

TEST(PlayerText, Utf8LengthCutAtEnd) {
  EXPECT_EQ(Utf8LengthCutAtEnd("abc"), 3u);
  EXPECT_EQ(Utf8LengthCutAtEnd("a\xD0\x96"), 3u);
  EXPECT_EQ(Utf8LengthCutAtEnd("a\xD0\x96\xE2\x80"), 3u);  // a cut sequence at the end
  EXPECT_EQ(Utf8LengthCutAtEnd("a\xE2\x80z"), std::string_view::npos);
  EXPECT_EQ(Utf8LengthCutAtEnd("\xC0\xAF"), std::string_view::npos);  // overlong
  EXPECT_EQ(Utf8LengthCutAtEnd("\xED\xA0\x80"), std::string_view::npos);  // a surrogate
}

}  // namespace
}  // namespace jukepak
