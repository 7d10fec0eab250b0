// The per-user settings that Songlift, Volmend and songlift-cli share:
// "Driver" (text) in group "Songlift"; "ConfirmDelete", "NotifyBusy" and
// "NotifyDuplicate" (0 or 1, default 1) in group "Options".
//
// SettingsStore is the interface the front ends read and write them
// through; it uses no Qt, so code that must not see Qt can be handed one.
// QSettingsStore (qsettings_store.h) is the store the programs use.
#pragma once

#include <string>

namespace frontend {

struct Options {
  int confirmDelete = 1;
  int notifyBusy = 1;
  int notifyDuplicate = 1;
};

enum class DriverSetting { kPresent, kNoSettings, kMissing, kNotText };

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // How the "Driver" value stands: present as text (then *path holds it),
  // missing, of another type, or the store holds no settings at all. *path
  // is empty unless the value is present.
  virtual DriverSetting ReadDriverSetting(std::string* path) = 0;
  virtual void WriteDriver(const std::string& path) = 0;

  // The three options; an absent or unreadable one reads as 1.
  virtual Options ReadOptions() = 0;
  // Writes all three, in the order ConfirmDelete, NotifyBusy, NotifyDuplicate.
  virtual void WriteOptions(const Options& options) = 0;

  // The stored driver path; empty when absent or not text.
  std::string ReadDriver() {
    std::string path;
    return ReadDriverSetting(&path) == DriverSetting::kPresent ? path : std::string();
  }
};

}  // namespace frontend
