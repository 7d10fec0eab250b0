#include "cli/help_text.h"

#include <algorithm>
#include <vector>

#include "base/version.h"
#include "cli/commands.h"

namespace songlift::cli {
namespace {

constexpr size_t kWidth = 80;

// `text` wrapped at word boundaries to lines of `width` columns after an
// indent of `indent` spaces; the first line's indent is already written.
std::string Wrapped(const std::string& text, size_t indent, size_t width) {
  std::string out;
  size_t column = indent;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (column > indent && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    start = end + 1;
  }
  return out;
}

std::string OptionLabel(const OptionSpec& option) {
  std::string label;
  for (const std::string& name : SplitNames(option)) {
    if (!label.empty()) label += ", ";
    label += (name.size() == 1 ? "-" : "--") + name;
  }
  if (option.valueName != nullptr) label += std::string(" ") + option.valueName;
  return label;
}

// A two-column table: labels, then their texts wrapped beside them.
std::string Table(const std::vector<std::pair<std::string, std::string>>& rows) {
  size_t label_width = 0;
  for (const auto& row : rows) label_width = std::max(label_width, row.first.size());
  const size_t indent = 2 + label_width + 2;
  std::string out;
  for (const auto& [label, text] : rows) {
    out += "  " + label + std::string(indent - 2 - label.size(), ' ');
    out += Wrapped(text, indent, kWidth) + "\n";
  }
  return out;
}

std::string OptionsTable(const std::vector<OptionSpec>& options) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const OptionSpec& option : options)
    rows.emplace_back(OptionLabel(option), option.description);
  return Table(rows);
}

}  // namespace

std::string UsageLine(const Command* command) {
  if (command == nullptr) return "Usage: songlift-cli [OPTION...] COMMAND [ARG...]";
  std::string usage = std::string("Usage: songlift-cli [OPTION...] ") + command->name;
  if (*command->arguments.synopsis != '\0') usage += std::string(" ") + command->arguments.synopsis;
  return usage;
}

std::string UsageHint(const Command* command) {
  const std::string help = command != nullptr
                               ? std::string("songlift-cli ") + command->name + " --help"
                               : "songlift-cli --help";
  return UsageLine(command) + "\nTry '" + help + "' for more information.\n";
}

std::string GlobalHelp() {
  std::string text = UsageLine(nullptr) + "\n\n" +
                     Wrapped(
                         "Manages the music on a Jukepak player. Options may stand before "
                         "or after the command; 'songlift-cli COMMAND --help' shows a "
                         "command's own.",
                         0, kWidth) +
                     "\n\nOptions:\n" + OptionsTable(GlobalOptionSpecs()) +
                     "\nCommands (CDs and tracks are numbered from 1, as ls prints them):\n";
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Command& command : Commands()) rows.emplace_back(command.name, command.summary);
  text += Table(rows);
  text += "\nExit status: 0 success, 1 failure, 2 usage error (fsck: as e2fsck).\n";
  return text;
}

std::string CommandHelp(const Command& command) {
  std::string text = UsageLine(&command) + "\n\n" + Wrapped(command.details, 0, kWidth) + "\n";
  if (!command.arguments.options.empty()) {
    text += "\nOptions:\n" + OptionsTable(command.arguments.options);
  }
  text += "\nGlobal options:\n" + OptionsTable(GlobalOptionSpecs());
  return text;
}

std::string VersionText() { return std::string("songlift-cli ") + jukepak::kVersion + "\n"; }

}  // namespace songlift::cli
