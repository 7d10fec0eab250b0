// Running the built songlift-cli from tests: in a folder of the test's own,
// with a settings store and data folder there, stdin from /dev/null.
#pragma once

#include <sys/wait.h>

#include <QJsonDocument>
#include <QJsonParseError>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace songlift::cli::testing {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A new, empty folder named after `prefix` and the running test, of this run
// alone (others may run the same test at the same time), removed with the object.
class TestFolder {
 public:
  explicit TestFolder(const std::string& prefix) {
    std::string pattern = ::testing::TempDir() + prefix +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                          "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << pattern;
  }
  ~TestFolder() {
    if (path_.empty()) return;
    EXPECT_EQ(std::system(("rm -rf '" + path_ + "'").c_str()), 0);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The environment that keeps songlift-cli's settings and data in `dir`.
inline std::string IsolatedEnvironment(const std::string& dir) {
  return "env -u JUKEPAK_IMAGE -u JUKEPAK_DEBUG XDG_CONFIG_HOME='" + dir +
         "/config' XDG_DATA_HOME='" + dir + "/data' ";
}

// Runs songlift-cli with `args` (shell words) in `dir`; `variables` are
// more NAME=VALUE words for its environment, optionally followed by a
// command that runs the program ("unshare -m sh script").
inline CliRun RunCli(const std::string& dir, const std::string& args,
                     const std::string& variables = "") {
  const std::string out = dir + "/out.txt", err = dir + "/err.txt";
  const std::string command = "cd '" + dir + "' && " + IsolatedEnvironment(dir) + variables +
                              " '" JUKEPAK_BIN_DIR "/songlift-cli' " + args + " </dev/null >'" +
                              out + "' 2>'" + err + "'";
  CliRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = Slurp(out);
  run.err = Slurp(err);
  return run;
}

// Standard output of a --json run, which must be exactly one JSON document
// and a newline; a test failure otherwise.
inline QJsonDocument JsonOut(const std::string& out) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError)
      << error.errorString().toStdString() << ": " << out;
  EXPECT_TRUE(!out.empty() && out.back() == '\n') << out;
  return document;
}

// A JSON value as compact text, for comparisons whose failures read well.
template <typename Json>
std::string Compact(const Json& value) {
  return QJsonDocument(value).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace songlift::cli::testing
