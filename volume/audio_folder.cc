#include "volume/audio_folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <utility>

namespace jukepak {
namespace {

// Folders the listing has entered, by device and inode.
using Visited = std::set<std::pair<dev_t, ino_t>>;

struct Entries {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

bool ReadFolder(const std::string& folder, Entries* entries) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    struct stat info;
    if (stat((folder + "/" + name).c_str(), &info) != 0) continue;  // a dangling link
    if (S_ISDIR(info.st_mode)) {
      entries->folders.push_back(name);
    } else if (IsAudioFileName(name)) {
      entries->files.push_back(name);
    }
  }
  closedir(dir);
  std::sort(entries->files.begin(), entries->files.end());
  std::sort(entries->folders.begin(), entries->folders.end());
  return true;
}

void List(const std::string& folder, bool recursive, Visited& visited,
          std::vector<FolderSong>* songs, std::vector<FolderProblem>* problems) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !visited.insert({info.st_dev, info.st_ino}).second) {
    return;
  }
  Entries entries;
  if (!ReadFolder(folder, &entries)) {
    problems->push_back({folder, Result::Error(ResultCode::kNotFound, "Could not open folder!")});
    return;
  }
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  const std::string name = FolderName(folder);
  for (const std::string& file : entries.files) songs->push_back({prefix + file, name});
  if (!recursive) return;
  for (const std::string& sub : entries.folders) List(prefix + sub, true, visited, songs, problems);
}

}  // namespace

bool IsAudioFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char ch) { return char(std::tolower(ch)); });
  return std::find(std::begin(kAudioExtensions), std::end(kAudioExtensions), extension) !=
         std::end(kAudioExtensions);
}

void ListAudioFiles(const std::string& folder, bool recursive, std::vector<FolderSong>* songs,
                    std::vector<FolderProblem>* problems) {
  Visited visited;
  List(folder, recursive, visited, songs, problems);
}

std::string FolderName(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const size_t slash = folder.rfind('/');
  return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace jukepak
