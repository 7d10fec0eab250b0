#include "checker/testing/scripted_console.h"

#include <algorithm>

namespace jukepak::checker::testing {

std::vector<std::string> ScriptedConsole::LinesAfter(const std::string& marker) const {
  const auto found = std::find(lines.begin(), lines.end(), marker);
  if (found == lines.end()) return lines;
  return std::vector<std::string>(found + 1, lines.end());
}

}  // namespace jukepak::checker::testing
