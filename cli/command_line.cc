#include "cli/command_line.h"

#include <QCommandLineParser>

#include "cli/cli_context.h"
#include "cli/commands.h"

namespace songlift::cli {
namespace {

// The parser sees each byte of argv as one Latin-1 character and gives the
// words back the same way, so that no byte is lost to a decoding: a Latin-1
// file name survives as well as UTF-8 text. Option names are ASCII.
QString Word(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}
std::string Bytes(const QString& word) { return word.toLatin1().toStdString(); }

// How an option is written on the command line: "-n" or "--dry-run".
std::string Spelled(const std::string& name) { return (name.size() == 1 ? "-" : "--") + name; }

QCommandLineOption QtOption(const OptionSpec& spec) {
  QStringList names;
  for (const std::string& name : SplitNames(spec)) names << QString::fromStdString(name);
  QCommandLineOption option(names, QString::fromUtf8(spec.description));
  if (spec.valueName != nullptr) option.setValueName(QString::fromUtf8(spec.valueName));
  return option;
}

const OptionSpec* FindOption(const std::vector<const OptionSpec*>& options,
                             const std::string& name) {
  for (const OptionSpec* option : options) {
    for (const std::string& each : SplitNames(*option)) {
      if (each == name) return option;
    }
  }
  return nullptr;
}

// True when `word` is an option that takes its value from the next word:
// "--image" but not "--image=FILE"; "-x" when x is the last letter of a
// group of one-letter options.
bool TakesNextWord(const std::vector<const OptionSpec*>& options, const QString& word) {
  const std::string text = Bytes(word);
  std::string name;
  if (text.rfind("--", 0) == 0) {
    if (text.find('=') != std::string::npos) return false;
    name = text.substr(2);
  } else if (text.size() > 1 && text[0] == '-') {
    name = text.substr(text.size() - 1);
  } else {
    return false;
  }
  const OptionSpec* option = FindOption(options, name);
  return option != nullptr && option->valueName != nullptr;
}

bool IsOptionWord(const QString& word) { return word.size() > 1 && word.startsWith('-'); }

struct Scan {
  qsizetype commandAt = -1;  // index of the command's name in the arguments
  bool json = false;
};

// Finds the command's name knowing only the global options: the first word
// that is no option and no global option's value.
Scan ScanForCommand(const QStringList& arguments) {
  std::vector<const OptionSpec*> globals;
  for (const OptionSpec& option : GlobalOptionSpecs()) globals.push_back(&option);
  Scan scan;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& word = arguments[i];
    if (word == "--") {
      if (scan.commandAt < 0 && i + 1 < arguments.size()) scan.commandAt = i + 1;
      break;
    }
    if (word == "--json") scan.json = true;
    if (!IsOptionWord(word)) {
      if (scan.commandAt < 0) scan.commandAt = i;
    } else if (TakesNextWord(globals, word)) {
      ++i;
    }
  }
  return scan;
}

// The parser's complaint in the program's own words where it has them.
std::string ParseError(const QCommandLineParser& parser, const QStringList& arguments,
                       const std::vector<const OptionSpec*>& options) {
  if (!parser.unknownOptionNames().isEmpty()) {
    return "unknown option " + Spelled(Bytes(parser.unknownOptionNames().first()));
  }
  // Only the last word can lack its value: any other takes the word after it.
  if (TakesNextWord(options, arguments.last())) return Bytes(arguments.last()) + " needs a value";
  return Bytes(parser.errorText());
}

CommandLine UsageError(CommandLine line, std::string error, int status) {
  line.action = CommandLine::Action::kUsageError;
  line.error = std::move(error);
  line.exitStatus = status;
  return line;
}

// The usage message for words or a required option missing.
std::string CountError(const Command& command) {
  const ArgumentSpec& spec = command.arguments;
  if (*spec.countError != '\0') return spec.countError;
  if (spec.maxWords == 0) return std::string(command.name) + " takes no arguments";
  return std::string(command.name) + " needs " + spec.synopsis;
}

// The positional words' number, the required options, and the options with
// a value given once at most. Empty when all is well, else the usage message.
std::string CheckArguments(const Command& command, const Invocation& invocation) {
  const ArgumentSpec& spec = command.arguments;
  const size_t words = invocation.words.size();
  if (words < spec.minWords || words > spec.maxWords) return CountError(command);
  for (const OptionSpec& option : spec.options) {
    const auto given = invocation.options.find(LookupName(option));
    if (given == invocation.options.end()) {
      if (option.required) return CountError(command);
    } else if (option.valueName != nullptr && given->second.size() > 1) {
      return Spelled(LookupName(option)) + " is given twice";
    }
  }
  return {};
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& argv) {
  QStringList arguments;
  for (const std::string& bytes : argv) arguments << Word(bytes);
  CommandLine line;
  const Scan scan = ScanForCommand(arguments);
  line.json = scan.json;
  const Command* command =
      scan.commandAt < 0 ? nullptr : FindCommand(Bytes(arguments[scan.commandAt]));
  line.invocation.command = command;

  std::vector<const OptionSpec*> options;
  for (const OptionSpec& option : GlobalOptionSpecs()) options.push_back(&option);
  if (command != nullptr) {
    for (const OptionSpec& option : command->arguments.options) options.push_back(&option);
  }
  QCommandLineParser parser;
  for (const OptionSpec* option : options) parser.addOption(QtOption(*option));
  const bool parsed = parser.parse(arguments);

  if (parser.isSet("help")) {
    line.action = CommandLine::Action::kHelp;
    return line;
  }
  if (parser.isSet("version")) {
    line.action = CommandLine::Action::kVersion;
    return line;
  }
  const int usage_status = command != nullptr ? command->usageStatus : kExitUsage;
  if (!parsed) return UsageError(line, ParseError(parser, arguments, options), usage_status);
  if (scan.commandAt < 0) return UsageError(line, "no command given", kExitUsage);
  if (command == nullptr) {
    return UsageError(line, "unknown command '" + Bytes(arguments[scan.commandAt]) + "'",
                      kExitUsage);
  }

  QStringList words = parser.positionalArguments();
  words.removeFirst();  // the command's name
  for (const QString& word : words) line.invocation.words.push_back(Bytes(word));
  for (const OptionSpec* option : options) {
    const std::string name = LookupName(*option);
    if (!parser.isSet(QString::fromStdString(name))) continue;
    std::vector<std::string>& values = line.invocation.options[name];
    for (const QString& value : parser.values(QString::fromStdString(name))) {
      values.push_back(Bytes(value));
    }
  }
  const std::string error = CheckArguments(*command, line.invocation);
  if (!error.empty()) return UsageError(line, error, usage_status);
  line.action = CommandLine::Action::kRun;
  return line;
}

}  // namespace songlift::cli
