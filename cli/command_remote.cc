// remote: the sixteen functions with their codes and conflict groups;
// remote FUNCTION CODE: teaches one function a code and writes the table as
// the learning dialog's OK does (slots 16 to 127 zero).

#include <QJsonArray>
#include <QJsonObject>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "format/remote_code_table.h"
#include "volume/remote_functions.h"

namespace songlift::cli {
namespace {

std::string Normalized(std::string_view text) {
  std::string out;
  for (char ch : text) {
    if (ch == ' ' || ch == '-' || ch == '_') continue;
    out.push_back(char(std::tolower(static_cast<unsigned char>(ch))));
  }
  return out;
}

// A function by number (1..16) or by name ("Play/Stop", "volume-up", ...); 0 when unknown.
int FunctionNumber(std::string_view word) {
  uint64_t number = 0;
  if (ParseNumber(word, 1, jukepak::kRemoteFunctionCount, &number)) return int(number);
  for (const jukepak::RemoteFunction& f : jukepak::RemoteFunctions()) {
    if (Normalized(f.name) == Normalized(word)) return f.number;
  }
  return 0;
}

// A code in decimal or, with "0x", in hexadecimal; 1 to 65535.
bool ParseCode(const std::string& word, uint32_t* code) {
  if (word.empty() || word[0] == '-' || word[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(word.c_str(), &end, word.rfind("0x", 0) == 0 ? 16 : 10);
  if (errno != 0 || end == word.c_str() || *end != '\0' || value == 0 || value > 0xFFFF) {
    return false;
  }
  *code = uint32_t(value);
  return true;
}

int Show(CliContext& context) {
  const jukepak::RemoteAssignments entries =
      jukepak::LoadRemoteAssignments(context.volume().model().header);
  const auto groups = jukepak::RemoteConflictGroups(entries);
  const auto& functions = jukepak::RemoteFunctions();
  if (context.options().json) {
    QJsonArray table;
    for (size_t i = 0; i < functions.size(); ++i) {
      table.append(QJsonObject{{"function", functions[i].number},
                               {"name", QString::fromUtf8(functions[i].name)},
                               {"code", qint64(jukepak::DecodeRemoteEntry(entries[i]).code)},
                               {"group", qint64(groups[i])}});
    }
    context.OutJson(table);
    return kExitOk;
  }
  std::string text;
  for (size_t i = 0; i < functions.size(); ++i) {
    char line[96];
    const uint32_t code = jukepak::DecodeRemoteEntry(entries[i]).code;
    std::snprintf(line, sizeof line, "%2d %-13s %5u", functions[i].number, functions[i].name, code);
    text += line;
    if (groups[i] != 0) text += "  shares its code (group " + std::to_string(groups[i]) + ")";
    text += "\n";
  }
  context.Out(text);
  return kExitOk;
}

}  // namespace

int RunRemote(CliContext& context) {
  const auto& args = context.args();
  if (args.size() == 1) return context.Usage("remote takes FUNCTION and CODE, or nothing");
  int number = 0;
  uint32_t code = 0;
  if (args.size() == 2) {
    number = FunctionNumber(args[0]);
    if (number == 0)
      return context.Usage("unknown function '" + args[0] + "' (1 to 16, or a name remote lists)");
    if (!ParseCode(args[1], &code))
      return context.Usage("CODE must be a number from 1 to 65535, not '" + args[1] + "'");
  }
  const int mounted = context.Mount(args.empty() ? Access::kRead : Access::kWrite);
  if (mounted != kExitOk) return mounted;
  if (args.empty()) return Show(context);

  jukepak::PlayerVolume& volume = context.volume();
  jukepak::RemoteAssignments entries = jukepak::LoadRemoteAssignments(volume.model().header);
  entries[size_t(number - 1)] = jukepak::RemoteEntryFor(code, number);
  jukepak::StoreRemoteAssignments(entries, &volume.model().header);
  const jukepak::Result written = volume.WriteHeader();
  if (!written.ok())
    return context.Fail("could not write the remote-control table: " + written.message());
  const bool conflict = jukepak::AnyRemoteConflict(entries);
  if (conflict) {
    std::fputs("songlift-cli: warning: at least one button is set to two different functions\n",
               stderr);
  }
  context.OutJson(
      QJsonObject{{"function", number},
                  {"name", QString::fromUtf8(jukepak::RemoteFunctions()[size_t(number - 1)].name)},
                  {"code", qint64(code)},
                  {"conflict", conflict}});
  return kExitOk;
}

}  // namespace songlift::cli
