#include "base/switch_list.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace jukepak {
namespace {

std::string_view Trimmed(std::string_view item) {
  while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
  while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
  return item;
}

Switch Split(std::string_view item) {
  Switch s;
  s.item = item;
  const size_t eq = item.find('=');
  s.name = item.substr(0, eq);
  s.has_value = eq != std::string_view::npos;
  if (s.has_value) s.value = item.substr(eq + 1);
  return s;
}

}  // namespace

Result ForEachSwitch(const char* text, const std::function<Result(const Switch&)>& apply) {
  std::string_view rest = text != nullptr ? text : "";
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view item = Trimmed(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (item.empty()) continue;
    const Result applied = apply(Split(item));
    if (!applied.ok()) return applied;
  }
  return Result::Ok();
}

bool ParseSwitchNumber(std::string_view text, uint32_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(copy.c_str(), &end, 0);
  if (errno != 0 || end != copy.c_str() + copy.size() || parsed > 0xFFFFFFFFull) return false;
  *value = uint32_t(parsed);
  return true;
}

}  // namespace jukepak
