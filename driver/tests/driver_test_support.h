// Helpers for the driver tests: temporary folders, environment variables set
// for one scope, capture of a file descriptor (the modules' standard output
// and the debug channel on standard error), a recording text sink, and sector
// patterns. Header-only, so each test executable stays one source file.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/driver_module.h"
#include "driver/image_file.h"
#include "driver/portlink/message_sink.h"
#include "driver/sim/sim_port.h"

namespace jukepak::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/jukepak-driver-test-XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with nullptr, unsets) a variable until the end of the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = std::string(old);
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Sends everything written to `fd` (1 or 2) into a temporary file until
// Finish(), which restores the descriptor and returns the text.
class FdCapture {
 public:
  explicit FdCapture(int fd) : fd_(fd) {
    std::fflush(nullptr);
    char name[] = "/tmp/jukepak-capture-XXXXXX";
    file_ = mkstemp(name);
    unlink(name);
    saved_ = dup(fd_);
    dup2(file_, fd_);
  }
  ~FdCapture() { (void)Finish(); }
  FdCapture(const FdCapture&) = delete;
  FdCapture& operator=(const FdCapture&) = delete;

  std::string Finish() {
    if (saved_ < 0) return text_;
    std::fflush(nullptr);
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
    lseek(file_, 0, SEEK_SET);
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(file_, chunk, sizeof chunk)) > 0) text_.append(chunk, size_t(got));
    close(file_);
    return text_;
  }

 private:
  int fd_;
  int file_ = -1;
  int saved_ = -1;
  std::string text_;
};

// Keeps every text the core sends.
class RecordingSink final : public portlink::MessageSink {
 public:
  void Debug(const char* text) override { debug.emplace_back(text); }
  void Failure(const char* text) override { failures += text; }

  bool Said(const std::string& text) const {
    for (const std::string& line : debug) {
      if (line == text) return true;
    }
    return false;
  }
  int Count(const std::string& text) const {
    int n = 0;
    for (const std::string& line : debug) n += line == text ? 1 : 0;
    return n;
  }

  std::vector<std::string> debug;
  std::string failures;
};

// The simulated port as a driver sees it whose process is descheduled once:
// at the second clock reading after `armed()` first holds (a wait's first
// poll, the first reading being its start), `ms` pass on the board's clock
// before the driver reads it.
class DescheduledPort final {
 public:
  DescheduledPort(sim::SimPort& port, uint64_t ms, std::function<bool()> armed)
      : port_(port), ms_(ms), armed_(std::move(armed)) {}

  void Write(portlink::PortRegister reg, uint8_t value) { port_.Write(reg, value); }
  uint8_t Read(portlink::PortRegister reg) { return port_.Read(reg); }
  uint64_t NowMs() {
    if (ms_ != 0 && armed_() && ++armed_readings_ == 2) {
      port_.board().clock().Skip(ms_);
      ms_ = 0;
    }
    return port_.NowMs();
  }

 private:
  sim::SimPort& port_;
  uint64_t ms_;
  std::function<bool()> armed_;
  int armed_readings_ = 0;
};

// The lines of `text` that equal `line`, counted.
inline int CountLines(const std::string& text, const std::string& line) {
  int n = 0;
  size_t at = 0;
  while ((at = text.find(line, at)) != std::string::npos) {
    if (at == 0 || text[at - 1] == '\n') ++n;
    at += line.size();
  }
  return n;
}

// Bytes that differ from sector to sector and within a sector, so a
// misplaced or reordered sector shows.
inline std::vector<uint8_t> SectorPattern(uint32_t first_sector, uint32_t count, uint8_t salt) {
  std::vector<uint8_t> bytes(size_t(count) * 512);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint32_t sector = first_sector + uint32_t(i / 512);
    bytes[i] = uint8_t((i * 7) ^ (sector * 13) ^ salt ^ (i >> 9));
  }
  return bytes;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<uint8_t> ReadImageSectors(const std::string& path, uint32_t sector,
                                             uint32_t count) {
  std::vector<uint8_t> bytes(size_t(count) * 512, 0);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  const ssize_t got = pread(fd, bytes.data(), bytes.size(), off_t(sector) * 512);
  close(fd);
  if (got != ssize_t(bytes.size())) return {};
  return bytes;
}

inline bool WriteImageSectors(const std::string& path, uint32_t sector,
                              const std::vector<uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t put = pwrite(fd, bytes.data(), bytes.size(), off_t(sector) * 512);
  close(fd);
  return put == ssize_t(bytes.size());
}

inline void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A module built beside the tests, loaded over a fresh sparse image of its
// own that JUKEPAK_IMAGE names; Close is called after each test.
class ImageModuleTest : public ::testing::Test {
 protected:
  ImageModuleTest(const std::string& module_file, uint32_t image_sectors)
      : module_path_(std::string(JUKEPAK_BIN_DIR) + "/" + module_file),
        image_sectors_(image_sectors) {}
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    image_ = dir_.File("player.img");
    ASSERT_TRUE(CreateSparseImage(image_, image_sectors_).ok());
    image_env_ = std::make_unique<ScopedEnv>("JUKEPAK_IMAGE", image_.c_str());
    ASSERT_TRUE(DriverModule::Load(module_path_, &module_).ok());
    ASSERT_TRUE(module_->FirstMissingEntry().empty());
  }
  void TearDown() override {
    if (module_ != nullptr) e().Close();
  }
  const DriverEntryPoints& e() const { return module_->entries(); }

  const std::string module_path_;
  const uint32_t image_sectors_;
  TempDir dir_;
  std::string image_;
  std::unique_ptr<ScopedEnv> image_env_;
  std::unique_ptr<DriverModule> module_;
};

}  // namespace jukepak::testing
