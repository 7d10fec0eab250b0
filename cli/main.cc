// songlift-cli: Songlift's engines for terminals and scripts.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace songlift::cli {
namespace {

void PrintHelp() {
  std::string text =
      "Usage: songlift-cli [--image FILE] [--driver MODULE] [--json] [--yes] COMMAND [ARGS]\n"
      "\n"
      "Manages the music on a Jukepak player.\n"
      "\n"
      "Options:\n"
      "  --image FILE     use the disk image FILE (through diskimage.dld unless --driver\n"
      "                   names another module)\n"
      "  --driver MODULE  use the driver module MODULE (a path, or a file name looked for\n"
      "                   in the working directory, beside the program and in the\n"
      "                   installed driver folder)\n"
      "                   Without either, the driver chosen in Songlift is used.\n"
      "  --json           print results as JSON\n"
      "  -y, --yes        answer yes to every confirmation\n"
      "  -h, --help       show this help\n"
      "  --version        show the version\n"
      "\n"
      "Commands (CDs and tracks are numbered from 1, as ls prints them):\n";
  for (const Command& command : Commands()) text += std::string("  ") + command.synopsis + "\n";
  text += "\nExit status: 0 success, 1 failure, 2 usage error (fsck: as e2fsck).\n";
  std::fputs(text.c_str(), stdout);
}

// Takes the value of an option that needs one; false when it is missing.
bool TakeValue(const std::vector<std::string>& words, size_t* i, std::string* value) {
  if (*i + 1 >= words.size()) return false;
  *value = words[++*i];
  return true;
}

int Run(const std::vector<std::string>& words) {
  GlobalOptions options;
  std::string command;
  std::vector<std::string> args;
  bool options_end = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!options_end && word == "--") {
      options_end = true;
    } else if (!options_end && (word == "--image" || word == "--driver")) {
      std::string value;
      if (!TakeValue(words, &i, &value)) {
        std::fprintf(stderr, "songlift-cli: %s needs a value\n", word.c_str());
        return kExitUsage;
      }
      (word == "--image" ? options.image : options.driver) = value;
    } else if (!options_end && word == "--json") {
      options.json = true;
    } else if (!options_end && (word == "--yes" || word == "-y") && command.empty()) {
      options.yes = true;
    } else if (!options_end && (word == "--help" || word == "-h")) {
      PrintHelp();
      return kExitOk;
    } else if (!options_end && word == "--version") {
      std::puts("songlift-cli 0.0.1");
      return kExitOk;
    } else if (command.empty()) {
      command = word;
    } else {
      args.push_back(word);
    }
  }
  if (command.empty()) {
    PrintHelp();
    return kExitUsage;
  }
  for (const Command& known : Commands()) {
    if (command == known.name) {
      CliContext context(options, command, args);
      return known.run(context);
    }
  }
  std::fprintf(stderr,
               "songlift-cli: unknown command '%s'\nTry 'songlift-cli --help' for more "
               "information.\n",
               command.c_str());
  return kExitUsage;
}

}  // namespace
}  // namespace songlift::cli

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  return songlift::cli::Run(words);
}
