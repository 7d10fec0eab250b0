#include "frontend/qsettings_store.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include "volume/audio_transcoder.h"

namespace frontend {
namespace {

constexpr char kDriverKey[] = "Songlift/Driver";
constexpr char kCopyFolderKey[] = "Songlift/CopyFolder";

int ReadFlag(QSettings& store, const char* key) {
  bool ok = false;
  const int value = store.value(QString("Options/") + key, 1).toInt(&ok);
  return ok ? value : 1;
}

}  // namespace

DriverSetting QSettingsStore::ReadDriverSetting(std::string* path) {
  path->clear();
  QSettings store(kOrganisation, kApplication);
  if (store.allKeys().isEmpty()) return DriverSetting::kNoSettings;
  if (!store.contains(kDriverKey)) return DriverSetting::kMissing;
  const QVariant value = store.value(kDriverKey);
  // Text lists and other structures read back as something other than a string.
  if (value.typeId() != QMetaType::QString) return DriverSetting::kNotText;
  *path = value.toString().toStdString();
  return DriverSetting::kPresent;
}

void QSettingsStore::WriteDriver(const std::string& path) {
  QSettings store(kOrganisation, kApplication);
  store.setValue(kDriverKey, QString::fromStdString(path));
}

Options QSettingsStore::ReadOptions() {
  QSettings store(kOrganisation, kApplication);
  Options options;
  options.confirmDelete = ReadFlag(store, "ConfirmDelete");
  options.notifyBusy = ReadFlag(store, "NotifyBusy");
  options.notifyDuplicate = ReadFlag(store, "NotifyDuplicate");
  options.includeSubfolders = ReadFlag(store, "IncludeSubfolders");
  options.skipDuplicates = ReadFlag(store, "SkipDuplicates");
  bool ok = false;
  const int kbps = store.value("Options/Bitrate", options.bitrateKbps).toInt(&ok);
  if (ok && kbps > 0 && jukepak::IsConversionBitrate(uint32_t(kbps))) options.bitrateKbps = kbps;
  return options;
}

void QSettingsStore::WriteOptions(const Options& options) {
  QSettings store(kOrganisation, kApplication);
  store.setValue("Options/ConfirmDelete", options.confirmDelete);
  store.setValue("Options/NotifyBusy", options.notifyBusy);
  store.setValue("Options/NotifyDuplicate", options.notifyDuplicate);
  store.setValue("Options/IncludeSubfolders", options.includeSubfolders);
  store.setValue("Options/SkipDuplicates", options.skipDuplicates);
  store.setValue("Options/Bitrate", options.bitrateKbps);
}

std::string QSettingsStore::ReadCopyFolder() {
  return QSettings(kOrganisation, kApplication).value(kCopyFolderKey).toString().toStdString();
}

void QSettingsStore::WriteCopyFolder(const std::string& folder) {
  QSettings(kOrganisation, kApplication).setValue(kCopyFolderKey, QString::fromStdString(folder));
}

}  // namespace frontend
