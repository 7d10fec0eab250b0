// The per-user settings that Songlift, Volmend and songlift-cli share, kept
// with QSettings under organisation "Corvane", application "Songlift":
// "Driver" (text) in group "Songlift"; "ConfirmDelete", "NotifyBusy" and
// "NotifyDuplicate" (0 or 1, default 1) in group "Options".
#pragma once

#include <QString>

namespace songlift {

inline constexpr char kOrganisation[] = "Corvane";
inline constexpr char kApplication[] = "Songlift";

struct Options {
  int confirmDelete = 1;
  int notifyBusy = 1;
  int notifyDuplicate = 1;
};

enum class DriverSetting { kPresent, kNoSettings, kMissing, kNotText };

class Settings {
 public:
  // The stored driver path; empty when absent.
  static QString ReadDriver();
  // How the "Driver" value stands: present as text, missing, of another
  // type, or the store holds no Songlift settings at all.
  static DriverSetting ReadDriverSetting(QString* path);
  static void WriteDriver(const QString& path);

  static Options ReadOptions();
  // Writes all three, in the order ConfirmDelete, NotifyBusy, NotifyDuplicate.
  static void WriteOptions(const Options& options);
};

}  // namespace songlift
