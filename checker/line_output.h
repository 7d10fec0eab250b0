// LineOutput: turns the texts of a check run into lines. A text is split at
// each "\n" and every completed line is handed on; text after the last "\n"
// is dropped, and two "\n" in a row give an empty line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace jukepak::checker {

// Calls `line` once per completed line of `text`, without the "\n".
void ForEachLine(std::string_view text, const std::function<void(const std::string&)>& line);

}  // namespace jukepak::checker
