// The block-device tests' kit. LoopDevice: a block device over a file, made
// with losetup and detached at the end of the scope. Making one needs
// root and loop support; where the machine has neither, ok() is false and
// SKIP_WITHOUT_LOOP_DEVICE skips a GoogleTest test, saying why (the
// including test brings gtest; Qt Test tests use error() with QSKIP).
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace jukepak::testing {

class LoopDevice {
 public:
  // `options` are added to losetup's: "-r" read-only, "-b 4096" its sector size.
  explicit LoopDevice(const std::string& file, const std::string& options = "") {
    const std::string command = "losetup --find --show " + options + " '" + file + "' 2>&1";
    std::FILE* output = popen(command.c_str(), "r");
    if (output == nullptr) {
      error_ = "cannot run losetup";
      return;
    }
    char line[512] = {};
    const bool got = std::fgets(line, sizeof line, output) != nullptr;
    const int status = pclose(output);
    std::string text = got ? line : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    struct stat info {};
    if (status == 0 && stat(text.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
      path_ = text;
    } else {
      error_ = text.empty() ? "losetup failed" : text;
    }
  }
  ~LoopDevice() {
    if (!path_.empty()) std::system(("losetup -d '" + path_ + "'").c_str());
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::string error_;
};

// Makes an ext4 file system over the whole of `file` with mkfs.ext4; false
// where e2fsprogs is not installed.
inline bool MakeExt4FileSystem(const std::string& file) {
  return std::system(("mkfs.ext4 -q -F '" + file + "' >/dev/null 2>&1").c_str()) == 0;
}
inline constexpr char kNoMkfsExt4[] = "mkfs.ext4 (e2fsprogs) is not installed here";

#define SKIP_WITHOUT_LOOP_DEVICE(loop)                                          \
  if (!(loop).ok())                                                             \
  GTEST_SKIP() << "no loop device on this machine (losetup: " << (loop).error() \
               << "); the block-device tests need root and loop support"

}  // namespace jukepak::testing
