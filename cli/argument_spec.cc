#include "cli/argument_spec.h"

namespace songlift::cli {

std::vector<std::string> SplitNames(const OptionSpec& option) {
  std::vector<std::string> names;
  std::string name;
  for (const char* c = option.names; *c != '\0'; ++c) {
    if (*c == ',') {
      names.push_back(name);
      name.clear();
    } else {
      name += *c;
    }
  }
  names.push_back(name);
  return names;
}

std::string LookupName(const OptionSpec& option) {
  std::string longest;
  for (const std::string& name : SplitNames(option)) {
    if (name.size() > longest.size()) longest = name;
  }
  return longest;
}

}  // namespace songlift::cli
