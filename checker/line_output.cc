#include "checker/line_output.h"

namespace jukepak::checker {

void ForEachLine(std::string_view text, const std::function<void(const std::string&)>& line) {
  size_t begin = 0;
  for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', begin)) {
    line(std::string(text.substr(begin, end - begin)));
    begin = end + 1;
  }
}

}  // namespace jukepak::checker
