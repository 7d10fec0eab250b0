#include "driver/driver_paths.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#ifndef JUKEPAK_DRIVER_INSTALL_DIR
#define JUKEPAK_DRIVER_INSTALL_DIR "/usr/local/lib/jukepak/drivers"
#endif

namespace jukepak {
namespace {

std::string WorkingFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string ProgramFolder() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  std::string path(buffer, size_t(length));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string InstalledDriverFolder() { return JUKEPAK_DRIVER_INSTALL_DIR; }

std::vector<std::string> DriverSearchFolders() {
  std::vector<std::string> folders;
  for (const std::string& folder : {WorkingFolder(), ProgramFolder(), InstalledDriverFolder()}) {
    if (folder.empty()) continue;
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(folder);
    }
  }
  return folders;
}

std::string FindDriverModule(const std::string& file_name) {
  for (const std::string& folder : DriverSearchFolders()) {
    const std::string path = folder + "/" + file_name;
    if (IsFile(path)) return path;
  }
  return {};
}

}  // namespace jukepak
