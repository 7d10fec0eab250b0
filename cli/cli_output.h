// CliOutput: songlift-cli's standard output and standard error.
//
// In text mode results go to standard output as they come. In JSON mode
// (--json) standard output holds exactly one JSON document, written by
// Finish: the command's result, or after a failure without one
// {"error": "<the messages>", "exitStatus": N}. Meanwhile anything else that
// writes to standard output (a driver module's printf) lands on standard
// error instead, so that a script can always parse what it reads.
//
// Failures are one line each on standard error, "songlift-cli: <message>",
// in either mode.
#pragma once

#include <QJsonValue>
#include <string>
#include <string_view>

namespace songlift::cli {

class CliOutput {
 public:
  explicit CliOutput(bool json);
  ~CliOutput();
  CliOutput(const CliOutput&) = delete;
  CliOutput& operator=(const CliOutput&) = delete;

  bool json() const { return json_; }

  // Text mode: writes `text` to standard output, flushed so that it keeps its
  // place among the progress lines on standard error. JSON mode: nothing.
  void Text(std::string_view text);
  // JSON mode: the command's result document (a later one replaces it).
  void Json(const QJsonValue& document);
  // Writes "songlift-cli: <message>" on standard error and keeps the message
  // for the error document.
  void Error(std::string_view message);
  // Error, then `hint` (the usage line and where help is; see UsageHint).
  void UsageError(std::string_view message, std::string_view hint);

  // JSON mode: writes the result document, or for a nonzero `status` without
  // one the error document. Returns `status`.
  int Finish(int status);

 private:
  bool json_;
  int document_fd_ = -1;  // the real standard output in JSON mode
  QJsonValue document_;
  bool has_document_ = false;
  std::string errors_;
};

}  // namespace songlift::cli
