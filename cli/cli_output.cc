#include "cli/cli_output.h"

#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace songlift::cli {
namespace {

void WriteAll(int fd, const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (n <= 0) return;  // nowhere left to say it
    done += n;
  }
}

QByteArray DocumentBytes(const QJsonValue& value) {
  const QJsonDocument document =
      value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
  return document.toJson(QJsonDocument::Compact) + "\n";
}

}  // namespace

CliOutput::CliOutput(bool json) : json_(json) {
  if (!json_) return;
  std::fflush(stdout);
  document_fd_ = dup(STDOUT_FILENO);
  if (document_fd_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
}

CliOutput::~CliOutput() {
  if (document_fd_ < 0) return;
  std::fflush(stdout);
  dup2(document_fd_, STDOUT_FILENO);
  close(document_fd_);
}

void CliOutput::Text(std::string_view text) {
  if (json_) return;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void CliOutput::Json(const QJsonValue& document) {
  document_ = document;
  has_document_ = true;
}

void CliOutput::Error(std::string_view message) {
  std::fprintf(stderr, "songlift-cli: %.*s\n", int(message.size()), message.data());
  if (!errors_.empty()) errors_ += "\n";
  errors_ += message;
}

void CliOutput::UsageError(std::string_view message, std::string_view hint) {
  Error(message);
  std::fwrite(hint.data(), 1, hint.size(), stderr);
}

int CliOutput::Finish(int status) {
  if (!json_) return status;
  std::fflush(stdout);  // what others wrote meanwhile, on standard error
  QJsonValue document = document_;
  if (!has_document_) {
    if (status == 0) return status;
    document = QJsonObject{{"error", QString::fromStdString(errors_)}, {"exitStatus", status}};
  }
  WriteAll(document_fd_ >= 0 ? document_fd_ : STDOUT_FILENO, DocumentBytes(document));
  return status;
}

}  // namespace songlift::cli
