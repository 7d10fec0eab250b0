// Result: the one error type of the engines. A code plus a message that says
// what went wrong in words a user can act on. Engines return it instead of
// throwing; front ends turn it into a status line, a message box or an exit code.
#pragma once

#include <string>
#include <utility>

namespace jukepak {

enum class ResultCode {
  kOk = 0,
  kIoError,          // a driver or file transfer failed
  kNotFound,         // a file, module or entry that does not exist
  kInvalidArgument,  // the caller asked for something that makes no sense
  kCorrupt,          // the volume or a file holds data that cannot be right
  kNoSpace,          // the player has no room left
  kLimit,            // a fixed limit of the format (100 tracks, ...)
  kBusy,             // the resource is in use (another program, a running job)
  kCancelled,        // the user asked to stop
  kUnsupported,      // the request cannot be served by this device or module
  kReadOnly,         // the image or disk can only be read
  kRefused,          // writing was refused to protect what the disk holds; the user may override
};

class [[nodiscard]] Result {
 public:
  Result() = default;
  static Result Ok() { return Result(); }
  static Result Error(ResultCode code, std::string message) {
    return Result(code, std::move(message));
  }

  bool ok() const { return code_ == ResultCode::kOk; }
  ResultCode code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Result(ResultCode code, std::string message) : code_(code), message_(std::move(message)) {}

  ResultCode code_ = ResultCode::kOk;
  std::string message_;
};

}  // namespace jukepak
