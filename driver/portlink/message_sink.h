// MessageSink: where Portlink's texts go. The progress and error lines go to
// the debugger output (here the debug channel: standard error when
// JUKEPAK_DEBUG is set); the reason an Open failed goes to standard error
// always, so that a user learns it without turning the debug channel on.
// Nothing goes to standard output, which belongs to the program that loaded
// the module. Tests give the core a recording sink instead.
#pragma once

namespace jukepak::portlink {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A progress or error line for the debugger output; `text` ends in "\n".
  virtual void Debug(const char* text) = 0;
  // Why a call failed, in words for the user; `text` ends in "\n".
  virtual void Failure(const char* text) = 0;
};

// The sink of the shipped modules: Debug to jukepak::DebugPrint, Failure to
// stderr.
class ChannelSink final : public MessageSink {
 public:
  void Debug(const char* text) override;
  void Failure(const char* text) override;
};

}  // namespace jukepak::portlink
