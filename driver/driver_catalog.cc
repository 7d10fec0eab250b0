#include "driver/driver_catalog.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "base/debug_channel.h"
#include "driver/driver_module.h"
#include "driver/driver_paths.h"

namespace jukepak {
namespace {

bool HasDldExtension(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".dld") == 0;
}

// Writable only by an owner that is this user or root.
bool OnlyTrustedMayWrite(const struct stat& info) {
  const bool trusted_owner = info.st_uid == geteuid() || info.st_uid == 0;
  const bool others_may_write = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return trusted_owner && !others_may_write;
}

std::vector<std::string> ModuleFiles(const std::string& folder) {
  std::vector<std::string> files;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return files;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (HasDldExtension(name)) files.push_back(folder + "/" + name);
  }
  closedir(dir);
  return files;
}

}  // namespace

bool IsSafeToLoad(const std::string& path, std::string* why) {
  struct stat file {};
  if (stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) {
    *why = path + " is not a file";
    return false;
  }
  if (!OnlyTrustedMayWrite(file)) {
    *why = path + " may be changed by other users";
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  struct stat dir {};
  if (stat(folder.c_str(), &dir) != 0 || !OnlyTrustedMayWrite(dir)) {
    *why = "the folder of " + path + " may be changed by other users";
    return false;
  }
  return true;
}

std::vector<DriverCandidate> FindDriverModules(const std::vector<std::string>& folders) {
  std::vector<DriverCandidate> found;
  for (const std::string& folder : folders) {
    for (const std::string& path : ModuleFiles(folder)) {
      std::string why;
      if (!IsSafeToLoad(path, &why)) {
        DebugPrint("drivers: not loading %s: %s\n", path.c_str(), why.c_str());
        continue;
      }
      std::unique_ptr<DriverModule> module;
      if (!DriverModule::Load(path, &module).ok()) continue;
      const DriverEntryPoints& e = module->entries();
      if (e.QueryValidity == nullptr || e.GetDisplayName == nullptr) continue;
      const char* name = e.GetDisplayName();
      DriverCandidate candidate{name != nullptr ? name : "", path, {}};
      if (e.QueryValidity() == 0) {
        const char* reason = module->validityReason() ? module->validityReason()() : nullptr;
        candidate.unusableReason = reason != nullptr && reason[0] != '\0' ? reason : kNoValidityReason;
      }
      found.push_back(std::move(candidate));
    }
  }
  return found;
}

std::vector<DriverCandidate> FindDriverModules() { return FindDriverModules(DriverSearchFolders()); }

std::vector<DriverCandidate> FindUsableDrivers(const std::vector<std::string>& folders) {
  std::vector<DriverCandidate> usable;
  for (DriverCandidate& candidate : FindDriverModules(folders)) {
    if (candidate.usable()) usable.push_back(std::move(candidate));
  }
  return usable;
}

std::vector<DriverCandidate> FindUsableDrivers() { return FindUsableDrivers(DriverSearchFolders()); }

}  // namespace jukepak
