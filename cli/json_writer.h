// JsonWriter: builds JSON text for the command-line tool's --json output.
// Values and keys are written in order; commas and escapes are handled here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace songlift::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view utf8);
  JsonWriter& Number(int64_t value);
  JsonWriter& Bool(bool value);

  const std::string& text() const { return text_; }

 private:
  void BeforeValue();

  std::string text_;
  std::vector<bool> first_in_level_;
  bool after_key_ = false;
};

}  // namespace songlift::cli
