#include "cli/cli_context.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/settings.h"
#include "driver/driver_paths.h"
#include "driver/image_file.h"

namespace songlift::cli {

CliContext::CliContext(GlobalOptions options, std::string command, std::vector<std::string> args,
                       jukepak::VolumeReporter* reporter)
    : options_(std::move(options)),
      command_(std::move(command)),
      args_(std::move(args)),
      reporter_(reporter != nullptr ? reporter : &own_reporter_),
      volume_(std::make_unique<jukepak::PlayerVolume>(reporter_)) {}

CliContext::~CliContext() { volume_.reset(); }

void CliContext::Out(std::string_view text) const {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

int CliContext::Fail(std::string_view message) const {
  std::fprintf(stderr, "songlift-cli: %.*s\n", int(message.size()), message.data());
  return kExitFailed;
}

int CliContext::Usage(std::string_view message) const {
  std::fprintf(stderr, "songlift-cli: %.*s\nTry 'songlift-cli --help' for more information.\n",
               int(message.size()), message.data());
  return kExitUsage;
}

std::string CliContext::lastStatus() const {
  // A command that brings its own reporter derives it from CliReporter.
  const auto* cli = dynamic_cast<const CliReporter*>(reporter_);
  return cli != nullptr ? cli->lastStatus() : std::string();
}

std::string CliContext::ResolveDriverPath(std::string* error) const {
  std::string module = options_.driver;
  if (module.empty() && !options_.image.empty()) module = "diskimage.dld";
  if (module.empty()) {
    QString stored;
    if (Settings::ReadDriverSetting(&stored) == DriverSetting::kPresent) {
      module = stored.toStdString();
    }
    if (module.empty()) {
      *error =
          "no driver module is chosen: pass --image FILE or --driver MODULE, or choose one "
          "with Songlift's Driver button";
      return {};
    }
    return module;
  }
  if (module.find('/') != std::string::npos) return module;
  const std::string found = jukepak::FindDriverModule(module);
  if (found.empty()) *error = "cannot find the driver module " + module;
  return found;
}

std::string CliContext::ExplainOpenFailure() const {
  if (options_.image.empty()) return {};
  std::unique_ptr<jukepak::ImageFile> image;
  const jukepak::Result opened = jukepak::ImageFile::Open(options_.image, &image);
  return opened.ok() ? std::string() : opened.message();
}

int CliContext::Bind() {
  if (volume_->bound()) return kExitOk;
  if (!options_.image.empty()) setenv("JUKEPAK_IMAGE", options_.image.c_str(), 1);
  std::string error;
  const std::string path = ResolveDriverPath(&error);
  if (path.empty()) return Fail(error);
  const int rc = volume_->BindDriver(path);
  if (rc == jukepak::kBindOk) return kExitOk;
  if (rc >= jukepak::kBindOpenFailedBase) {
    const std::string why = ExplainOpenFailure();
    return Fail(why.empty() ? "the driver " + path + " could not open the player" : why);
  }
  return Fail(volume_->bindError());
}

int CliContext::Mount() {
  const int bound = Bind();
  if (bound != kExitOk) return bound;
  if (!volume_->CheckVolume()) {
    if (volume_->deviceState() == jukepak::DeviceState::kNoDriver) return Fail(lastStatus());
    return Fail("the player holds no volume; create one with 'songlift-cli init'");
  }
  const jukepak::Result mounted = volume_->RunJobNow(jukepak::Job::kMount);
  if (!mounted.ok()) {
    const std::string status = lastStatus();
    return Fail(status.empty() ? mounted.message() : status);
  }
  if (volume_->ReadOnly()) {
    std::fprintf(stderr, "songlift-cli: warning: %s; nothing on the player can be changed\n",
                 jukepak::kDamagedDirectory);
  }
  return kExitOk;
}

bool CliContext::Confirm(std::string_view question, bool* no_terminal) const {
  *no_terminal = false;
  if (options_.yes) return true;
  if (!isatty(STDIN_FILENO)) {
    *no_terminal = true;
    return false;
  }
  std::fprintf(stderr, "%.*s [y/N] ", int(question.size()), question.data());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

bool ParseNumber(std::string_view text, uint64_t min, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    const uint64_t digit = uint64_t(ch - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

}  // namespace songlift::cli
