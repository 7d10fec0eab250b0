#include "cli/cli_context.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/commands.h"
#include "cli/help_text.h"
#include "driver/driver_paths.h"
#include "driver/foreign_disk_guard.h"
#include "driver/image_file.h"

namespace songlift::cli {

CliContext::CliContext(const Invocation& invocation, CliOutput& output)
    : invocation_(invocation), output_(output) {
  options_.image = invocation.value("image");
  options_.driver = invocation.value("driver");
  options_.json = invocation.isSet("json");
  options_.yes = invocation.isSet("yes");
  options_.force = invocation.isSet("force");
  if (invocation.command != nullptr) command_ = invocation.command->name;
}

CliContext::~CliContext() { volume_.reset(); }

int CliContext::Fail(std::string_view message) const {
  output_.Error(message);
  return kExitFailed;
}

int CliContext::Usage(std::string_view message) const {
  output_.UsageError(message, UsageHint(invocation_.command));
  return kExitUsage;
}

std::string CliContext::DriverPath(std::string* error) const {
  std::string module = options_.driver;
  if (module.empty() && !options_.image.empty()) module = "diskimage.dld";
  if (module.empty()) {
    std::string stored;
    if (settings_.ReadDriverSetting(&stored) == frontend::DriverSetting::kPresent) {
      module = stored;
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

std::string CliContext::NamedImage() const {
  if (!options_.image.empty()) return options_.image;
  const char* named = std::getenv("JUKEPAK_IMAGE");
  return named != nullptr ? named : "";
}

void CliContext::ExportImageOptions() const {
  if (!options_.image.empty()) setenv("JUKEPAK_IMAGE", options_.image.c_str(), 1);
  if (options_.force && !NamedImage().empty()) jukepak::AllowForeignDisk(NamedImage());
}

bool CliContext::WriteAllowed() const {
  const std::string image = NamedImage();
  if (image.empty()) return true;
  ExportImageOptions();
  const jukepak::Result writable = jukepak::CheckImageWritable(image);
  if (writable.code() == jukepak::ResultCode::kRefused) {
    Fail(writable.message() + " (--force writes to it anyway)");
    return false;
  }
  if (writable.code() == jukepak::ResultCode::kReadOnly) {
    Fail(writable.message());
    return false;
  }
  return true;  // an image that cannot be opened is the module's to report
}

jukepak::Result CliContext::BindDriverModule(jukepak::RequiredEntries required,
                                             DriverBinding* binding) const {
  ExportImageOptions();
  std::string error;
  binding->path = DriverPath(&error);
  if (binding->path.empty()) return jukepak::Result::Error(jukepak::ResultCode::kNotFound, error);
  return jukepak::BindModule(binding->path, required, &binding->device, &binding->missingEntry);
}

int CliContext::Bind(Access access) {
  if (volume_ == nullptr) volume_ = std::make_unique<jukepak::PlayerVolume>(reporter_.get());
  if (!volume_->bound()) {
    DriverBinding binding;
    const jukepak::Result made = BindDriverModule(jukepak::RequiredEntries::kDevice, &binding);
    if (!made.ok()) {
      volume_->RefuseBinding(made);
      return Fail(made.message());
    }
    // A module whose Open fails has said why on stderr; this line names it.
    if (!volume_->BindDevice(std::move(binding.device)).ok()) {
      return Fail("the driver " + binding.path + " could not open the player");
    }
  }
  if (access == Access::kWrite && !WriteAllowed()) return kExitFailed;
  return kExitOk;
}

int CliContext::BindDevice(std::unique_ptr<jukepak::SectorDevice> device, Access access) {
  if (volume_ == nullptr) volume_ = std::make_unique<jukepak::PlayerVolume>(reporter_.get());
  const jukepak::Result bound = volume_->BindDevice(std::move(device));
  if (!bound.ok()) return Fail(bound.message());
  if (access == Access::kWrite && !WriteAllowed()) return kExitFailed;
  return kExitOk;
}

int CliContext::Mount(Access access) {
  const int bound = Bind(access);
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
