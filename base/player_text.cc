#include "base/player_text.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace jukepak {
namespace {

// Only characters Latin-1 lacks are touched (the leading filter). Russian
// gets the BGN romanization, which English readers pronounce as meant
// ("Shchuka", not "Ščuka"); every other script ICU's default; then what is
// still outside Latin-1 (accents such as "ž", dashes, quotes) its nearest
// ASCII.
constexpr char kTransliteration[] =
    "[^\\u0000-\\u00FF]; [:Cyrillic:] Russian-Latin/BGN; Any-Latin; "
    "[^\\u0000-\\u00FF] Latin-ASCII";
// Symbols the rules above leave alone although they have a common spelling.
constexpr char16_t kExtraRules[] = u"\u20AC > EUR; [\u02BB\u02BC\u02BE\u02BF] > \\';";

class Transliteration {
 public:
  Transliteration() {
    UErrorCode status = U_ZERO_ERROR;
    extra_.reset(icu::Transliterator::createFromRules("JukepakExtra", icu::UnicodeString(kExtraRules),
                                                      UTRANS_FORWARD, parse_error_, status));
    if (U_FAILURE(status)) extra_.reset();
    status = U_ZERO_ERROR;
    latin_.reset(icu::Transliterator::createInstance(kTransliteration, UTRANS_FORWARD, status));
    if (U_FAILURE(status)) latin_.reset();
    status = U_ZERO_ERROR;
    nfc_ = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) nfc_ = nullptr;
  }

  // Without ICU's data the text stays as it is, and the caller's last
  // resort ("?") takes what Latin-1 lacks.
  void Apply(icu::UnicodeString& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    Compose(text);
    if (extra_ != nullptr) extra_->transliterate(text);
    if (latin_ != nullptr) latin_->transliterate(text);
    Compose(text);
  }

 private:
  void Compose(icu::UnicodeString& text) const {
    if (nfc_ == nullptr) return;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString composed = nfc_->normalize(text, status);
    if (U_SUCCESS(status)) text = composed;
  }

  std::mutex mutex_;  // one transliterator for every thread
  UParseError parse_error_{};
  std::unique_ptr<icu::Transliterator> extra_;
  std::unique_ptr<icu::Transliterator> latin_;
  const icu::Normalizer2* nfc_ = nullptr;
};

Transliteration& Shared() {
  static Transliteration* instance = new Transliteration();  // lives to the end, used at exit
  return *instance;
}

// The length of the well-formed sequence at `bytes[i]`; 0 when malformed,
// -1 when it is cut short by the end of `bytes`.
int SequenceAt(std::string_view bytes, size_t i) {
  const auto byte = [&](size_t k) { return uint8_t(bytes[k]); };
  const uint8_t lead = byte(i);
  if (lead < 0x80) return 1;
  int length = 0;
  uint8_t low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int k = 1; k < length; ++k) {
    if (i + size_t(k) >= bytes.size()) return -1;
    const uint8_t next = byte(i + size_t(k));
    if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool IsControl(UChar32 c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

// The text when every character of it is in Latin-1 (the common case, which
// needs no transliterator); false otherwise.
bool Latin1Only(std::string_view utf8, std::string* out) {
  out->clear();
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t lead = uint8_t(utf8[i]);
    UChar32 c = lead;
    if (lead >= 0x80) {
      if (SequenceAt(utf8, i) != 2 || lead > 0xC3) return false;
      c = ((lead & 0x1F) << 6) | (uint8_t(utf8[i + 1]) & 0x3F);
      ++i;
    }
    ++i;
    out->push_back(IsControl(c) ? ' ' : char(c));
  }
  return true;
}

std::string PlayerTextFromUtf8(std::string_view utf8) {
  std::string latin1;
  if (Latin1Only(utf8, &latin1)) return latin1;
  // Malformed sequences become U+FFFD here, which nothing transliterates.
  icu::UnicodeString text =
      icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), int32_t(utf8.size())));
  Shared().Apply(text);
  std::string out;
  out.reserve(size_t(text.length()));
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const UChar32 c = text.char32At(i);
    if (IsControl(c)) {
      out.push_back(' ');
    } else {
      out.push_back(c <= 0xFF ? char(c) : '?');
    }
  }
  return out;
}

std::size_t Utf8LengthCutAtEnd(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const int length = SequenceAt(bytes, i);
    if (length < 0) return i;
    if (length == 0) return std::string_view::npos;
    i += size_t(length);
  }
  return i;
}

std::string PlayerFieldFromUtf8(std::string_view utf8, std::size_t limit) {
  std::string text = PlayerTextFromUtf8(utf8);
  if (text.size() > limit) {
    text.resize(limit);
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  return text;
}

}  // namespace jukepak
