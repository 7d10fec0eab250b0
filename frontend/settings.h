// The per-user settings that Songlift, Volmend and songlift-cli share:
// "Driver" and "CopyFolder" (text) in group "Songlift"; "ConfirmDelete", "NotifyBusy",
// "NotifyDuplicate", "IncludeSubfolders" and "SkipDuplicates" (0 or 1,
// default 1) and "Bitrate" (kbit/s of converted songs, 128 to 320, default
// 192) in group "Options".
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
  int notifyDuplicate = 1;  // of remote-control buttons
  int includeSubfolders = 1;
  int skipDuplicates = 1;  // songs already on the player
  int bitrateKbps = 192;
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

  // The options; an absent or unreadable flag reads as 1, an absent or
  // unknown bitrate as 192.
  virtual Options ReadOptions() = 0;
  // Writes all of them, ConfirmDelete, NotifyBusy and NotifyDuplicate first.
  virtual void WriteOptions(const Options& options) = 0;

  // The folder the window's Copy to PC last wrote to; empty when absent.
  virtual std::string ReadCopyFolder() = 0;
  virtual void WriteCopyFolder(const std::string& folder) = 0;

  // The stored driver path; empty when absent or not text.
  std::string ReadDriver() {
    std::string path;
    return ReadDriverSetting(&path) == DriverSetting::kPresent ? path : std::string();
  }
};

}  // namespace frontend
