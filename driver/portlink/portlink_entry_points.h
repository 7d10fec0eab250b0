// The nine driver entry points of a Portlink module, written once over a
// port backend. A module file defines its backend and says
//
//   JUKEPAK_PORTLINK_ENTRY_POINTS(MyBackend)
//
// A backend is a type with
//   using Port = ...;                        // satisfies PortAccess
//   static const char* ModuleName();         // "portlink", the prefix of its failure lines
//   static const char* DisplayName();        // static text
//   static int32_t Validity();               // nonzero when the port can be opened
//   static jukepak::Result Claim(std::unique_ptr<Port>* port);
// Claim opens the port for this process alone (a second claimer fails until
// the port object is destroyed, which releases it). It says why on failure.
//
// State is process-wide, as the contract wants: one port, one DiskAccess in
// static storage. Open claims the port and runs the self tests; a failed
// Open says why on standard error ("portlink: could not open the player:
// the cable seems unplugged (no handshake)") and releases the port again.
// Close leaves the link idle and releases it. Every other call on a module that is not open returns
// 1 (ReadIR stores 0).
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/result.h"
#include "driver/jukepak_driver.h"
#include "driver/portlink/disk_access.h"
#include "driver/portlink/message_sink.h"

namespace jukepak::portlink {

template <typename Backend>
class PortlinkDriver {
 public:
  using Port = typename Backend::Port;

  static int32_t Open() {
    State& s = state();
    Release(s);
    const Result claimed = Backend::Claim(&s.port);
    if (!claimed.ok()) {
      SayOpenFailed(s, claimed.message());
      return 1;
    }
    s.disk.emplace(*s.port, s.sink);
    const int32_t rc = s.disk->Open();
    if (rc != 0) {
      SayOpenFailed(s, s.disk->openFailure());
      Release(s);
    }
    return rc;
  }

  static int32_t Close() {
    State& s = state();
    if (s.disk) s.disk->Close();
    Release(s);
    return 0;
  }

  static int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer) {
    DiskAccess<Port>* disk = OpenDisk();
    if (disk == nullptr) return 1;
    return disk->ReadSectors(sector, count, static_cast<uint8_t*>(buffer));
  }

  static int32_t WriteSectors(uint32_t sector, uint32_t count, const void* buffer) {
    DiskAccess<Port>* disk = OpenDisk();
    if (disk == nullptr) return 1;
    return disk->WriteSectors(sector, count, static_cast<const uint8_t*>(buffer));
  }

  static int32_t QueryNumSectors(uint32_t* out) {
    DiskAccess<Port>* disk = OpenDisk();
    if (disk == nullptr) return 1;
    return disk->QueryNumSectors(out);
  }

  static int32_t ReadIR(int32_t* code) {
    DiskAccess<Port>* disk = OpenDisk();
    if (disk == nullptr) {
      if (code != nullptr) *code = 0;
      return 1;
    }
    return disk->ReadIR(code);
  }

  static int32_t DebugMsg(const char* text) {
    return std::printf("[%s]\n", text != nullptr ? text : "");
  }

  static int32_t QueryValidity() { return Backend::Validity(); }
  static const char* GetDisplayName() { return Backend::DisplayName(); }

 private:
  struct State {
    ChannelSink sink;
    std::unique_ptr<Port> port;
    // In static storage with its buffers; rebuilt over each newly claimed port.
    std::optional<DiskAccess<Port>> disk;
  };

  static State& state() {
    static State s;
    return s;
  }

  static void SayOpenFailed(State& s, const std::string& why) {
    const std::string text =
        std::string(Backend::ModuleName()) + ": could not open the player: " + why + "\n";
    s.sink.Failure(text.c_str());
  }

  static void Release(State& s) {
    s.disk.reset();
    s.port.reset();
  }

  static DiskAccess<Port>* OpenDisk() {
    State& s = state();
    if (!s.disk) {
      s.sink.Debug("portlink: the driver is not open\n");
      return nullptr;
    }
    return &*s.disk;
  }
};

}  // namespace jukepak::portlink

#define JUKEPAK_PORTLINK_ENTRY_POINTS(Backend)                                                \
  extern "C" {                                                                                \
  JUKEPAK_DRIVER_EXPORT int32_t Open(void) {                                                  \
    return ::jukepak::portlink::PortlinkDriver<Backend>::Open();                              \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t QueryNumSectors(uint32_t* out) {                              \
    return ::jukepak::portlink::PortlinkDriver<Backend>::QueryNumSectors(out);                \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t WriteSectors(uint32_t sector, uint32_t count,                 \
                                             const void* buffer) {                            \
    return ::jukepak::portlink::PortlinkDriver<Backend>::WriteSectors(sector, count, buffer); \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer) {  \
    return ::jukepak::portlink::PortlinkDriver<Backend>::ReadSectors(sector, count, buffer);  \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t DebugMsg(const char* text) {                                  \
    return ::jukepak::portlink::PortlinkDriver<Backend>::DebugMsg(text);                      \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t ReadIR(int32_t* code) {                                       \
    return ::jukepak::portlink::PortlinkDriver<Backend>::ReadIR(code);                        \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t Close(void) {                                                 \
    return ::jukepak::portlink::PortlinkDriver<Backend>::Close();                             \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT int32_t QueryValidity(void) {                                         \
    return ::jukepak::portlink::PortlinkDriver<Backend>::QueryValidity();                     \
  }                                                                                           \
  JUKEPAK_DRIVER_EXPORT const char* GetDisplayName(void) {                                    \
    return ::jukepak::portlink::PortlinkDriver<Backend>::GetDisplayName();                    \
  }                                                                                           \
  }
