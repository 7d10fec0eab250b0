// CliContext: what every command of songlift-cli works with: the global
// options, the command's own words and options, the output conventions and
// the engine bound to the player the options name.
//
// Exit status: 0 success, 1 the operation failed, 2 usage error, unless a
// command says otherwise. Failures are one line on stderr; with --json,
// standard output holds one JSON document (see CliOutput).
#pragma once

#include <QJsonValue>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_output.h"
#include "cli/invocation.h"
#include "driver/bind_module.h"
#include "frontend/qsettings_store.h"
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
  bool force = false;  // --force: write even to a disk that holds something else
};

// What a command does with the player: reading commands never meet the
// checks that writing ones pass first.
enum class Access { kRead, kWrite };

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
  // The invocation and the output must outlive the context.
  CliContext(const Invocation& invocation, CliOutput& output);
  ~CliContext();

  const GlobalOptions& options() const { return options_; }
  // The settings Songlift stores (the "Driver" in use).
  frontend::SettingsStore& settings() const { return settings_; }
  const std::string& command() const { return command_; }
  // The positional words after the command's name.
  const std::vector<std::string>& args() const { return invocation_.words; }
  // The command's own options (and the global ones), by lookup name.
  bool flag(const std::string& name) const { return invocation_.isSet(name); }
  std::string value(const std::string& name) const { return invocation_.value(name); }

  // Text for standard output; nothing with --json.
  void Out(std::string_view text) const { output_.Text(text); }
  // With --json, the command's result document.
  void OutJson(const QJsonValue& document) const { output_.Json(document); }
  // "songlift-cli: <message>" on stderr; returns kExitFailed.
  int Fail(std::string_view message) const;
  // The message and a hint at --help on stderr; returns kExitUsage.
  int Usage(std::string_view message) const;

  // Makes `reporter` the one the engine is made with, owned by the context
  // (which ends the engine first); call before Bind. Returns it.
  template <typename Reporter>
  Reporter* UseReporter(std::unique_ptr<Reporter> reporter) {
    Reporter* kept = reporter.get();
    reporter_ = std::move(reporter);
    return kept;
  }

  // A driver module loaded for a command, not yet opened.
  struct DriverBinding {
    std::string path;
    std::unique_ptr<jukepak::DriverDevice> device;
    std::string missingEntry;  // the entry point it lacks, when that refused it
  };
  // The one way every command reaches the player: exports the image options
  // (ExportImageOptions), finds the module the options name (DriverPath) and
  // loads it, refused before any call when it lacks one of the `required`
  // entry points (BindModule). On success binding->device is set; on failure
  // the Result says why and nothing is printed.
  jukepak::Result BindDriverModule(jukepak::RequiredEntries required, DriverBinding* binding) const;

  // Binds Songlift's engine to the driver the options name (see README):
  // --image FILE uses diskimage.dld (or --driver) on FILE; --driver alone
  // that module; neither, the "Driver" setting. For kWrite the image must
  // also pass WriteAllowed. Returns kExitOk or prints why and returns kExitFailed.
  int Bind(Access access = Access::kRead);
  // Bind, then looks at the header and reads the directory. kExitOk when
  // the volume is mounted and ready.
  int Mount(Access access = Access::kRead);
  // Binds the engine to `device` instead (the driver's device wrapped, as
  // init --undo does), with the same check for kWrite.
  int BindDevice(std::unique_ptr<jukepak::SectorDevice> device, Access access);

  // Hands the image options to the modules through the environment:
  // JUKEPAK_IMAGE for --image, JUKEPAK_FORCE_DISK for --force.
  void ExportImageOptions() const;
  // True when the image named by --image (or JUKEPAK_IMAGE) may be written,
  // or none is named; else prints why (a read-only image, a disk holding
  // something else, which --force overrides) and returns false.
  bool WriteAllowed() const;

  // Asks `question` on the terminal; --yes answers yes. Without a terminal
  // and without --yes the answer is no and *no_terminal is set.
  bool Confirm(std::string_view question, bool* no_terminal) const;

  // The driver module Bind would load, as a path; empty, with *error set,
  // when the options and the settings name none.
  std::string DriverPath(std::string* error) const;

  // The engine; made by Bind.
  jukepak::PlayerVolume& volume() { return *volume_; }
  // The status line the engine showed last.
  std::string lastStatus() const { return reporter_->lastStatus(); }

 private:
  std::string NamedImage() const;

  const Invocation& invocation_;
  CliOutput& output_;
  GlobalOptions options_;
  std::string command_;
  std::unique_ptr<CliReporter> reporter_ = std::make_unique<CliReporter>();
  std::unique_ptr<jukepak::PlayerVolume> volume_;
  mutable frontend::QSettingsStore settings_;
};

// Parses a whole number in [min, max]; false when `text` is not one.
bool ParseNumber(std::string_view text, uint64_t min, uint64_t max, uint64_t* value);

}  // namespace songlift::cli
