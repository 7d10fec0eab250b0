// MessageSink: where Portlink's texts go. The progress and error lines go to
// the debugger output (here the debug channel: standard error when
// JUKEPAK_DEBUG is set); the register-test failure line goes to standard
// output. Tests give the core a recording sink instead.
#pragma once

namespace jukepak::portlink {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A progress or error line for the debugger output; `text` ends in "\n".
  virtual void Debug(const char* text) = 0;
  // Text for the module's standard output, written as given.
  virtual void Console(const char* text) = 0;
};

// The sink of the shipped modules: Debug to jukepak::DebugPrint, Console to
// stdout (flushed, so that it keeps its place among other output).
class ChannelSink final : public MessageSink {
 public:
  void Debug(const char* text) override;
  void Console(const char* text) override;
};

}  // namespace jukepak::portlink
