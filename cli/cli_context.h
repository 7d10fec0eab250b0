// CliContext: what every command of songlift-cli works with: the global
// options, the command's own arguments, the output conventions and the
// engine bound to the player the options name.
//
// Exit status: 0 success, 1 the operation failed, 2 usage error, unless a
// command says otherwise. Failures are one line on stderr.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "volume/player_volume.h"
#include "volume/volume_reporter.h"

namespace songlift::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct GlobalOptions {
  std::string image;   // --image FILE
  std::string driver;  // --driver MODULE
  bool json = false;   // --json
  bool yes = false;    // --yes, -y
};

// Remembers the engine's status texts so a failure can be explained.
class CliReporter : public jukepak::QuietReporter {
 public:
  void ShowStatus(std::string_view text) override { last_status_ = std::string(text); }
  const std::string& lastStatus() const { return last_status_; }

 private:
  std::string last_status_;
};

class CliContext {
 public:
  CliContext(GlobalOptions options, std::string command, std::vector<std::string> args,
             jukepak::VolumeReporter* reporter = nullptr);
  ~CliContext();

  const GlobalOptions& options() const { return options_; }
  const std::string& command() const { return command_; }
  const std::vector<std::string>& args() const { return args_; }

  // Standard output, as given.
  void Out(std::string_view text) const;
  // "songlift-cli: <message>" on stderr; returns kExitFailed.
  int Fail(std::string_view message) const;
  // The message and a hint at --help on stderr; returns kExitUsage.
  int Usage(std::string_view message) const;

  // Binds the driver the options name (see README): --image FILE uses
  // diskimage.dld (or --driver) on FILE; --driver alone that module; neither,
  // the "Driver" setting. Returns kExitOk or prints why and returns kExitFailed.
  int Bind();
  // Bind, then looks at the header and reads the directory. kExitOk when
  // the volume is mounted and ready.
  int Mount();

  // Asks `question` on the terminal; --yes answers yes. Without a terminal
  // and without --yes the answer is no and *no_terminal is set.
  bool Confirm(std::string_view question, bool* no_terminal) const;

  // The driver module Bind would load, as a path; empty, with *error set,
  // when the options and the settings name none.
  std::string DriverPath(std::string* error) const { return ResolveDriverPath(error); }

  jukepak::PlayerVolume& volume() { return *volume_; }
  // The status line the engine showed last.
  std::string lastStatus() const;

 private:
  std::string ResolveDriverPath(std::string* error) const;
  std::string ExplainOpenFailure() const;

  GlobalOptions options_;
  std::string command_;
  std::vector<std::string> args_;
  CliReporter own_reporter_;
  jukepak::VolumeReporter* reporter_;
  std::unique_ptr<jukepak::PlayerVolume> volume_;
};

// Parses a whole number in [min, max]; false when `text` is not one.
bool ParseNumber(std::string_view text, uint64_t min, uint64_t max, uint64_t* value);

}  // namespace songlift::cli
