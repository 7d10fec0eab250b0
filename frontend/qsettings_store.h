// QSettingsStore: the settings kept with QSettings under organisation
// "Corvane", application "Songlift" (~/.config/Corvane/Songlift.conf).
// Each call opens the store anew, so values another program wrote meanwhile
// are seen. Paths are stored as text, converted from and to UTF-8.
#pragma once

#include "frontend/settings.h"

namespace frontend {

inline constexpr char kOrganisation[] = "Corvane";
inline constexpr char kApplication[] = "Songlift";

class QSettingsStore : public SettingsStore {
 public:
  DriverSetting ReadDriverSetting(std::string* path) override;
  void WriteDriver(const std::string& path) override;
  Options ReadOptions() override;
  void WriteOptions(const Options& options) override;
  std::string ReadCopyFolder() override;
  void WriteCopyFolder(const std::string& folder) override;
};

}  // namespace frontend
