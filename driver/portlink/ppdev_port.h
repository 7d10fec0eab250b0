// PpdevPort: the parallel port through the Linux ppdev device (/dev/parport0,
// or the device named by JUKEPAK_PARPORT).
//
// Register access maps to the device's ioctls: data and control writes to
// PPWDATA and PPWCONTROL, status, data and control reads to PPRSTATUS,
// PPRDATA and PPRCONTROL. EPP data goes through write() in the device's EPP
// mode (PPSETMODE IEEE1284_MODE_EPP, set when the port is claimed; the
// ioctls reach the registers whatever the mode). EPP bytes are gathered and
// sent with one write() as soon as another register is touched (or 512 are
// pending), which keeps the order of the port operations. The port is set up
// (PP_FASTWRITE, O_NONBLOCK) so that the kernel neither retries a timed-out
// byte nor hides a timeout: a write() that does not send the whole block
// timed out (ppdev_port.cc says why). The kernel clears the port's EPP
// timeout bit itself after a failed cycle, so status bit 0 as read here is a
// latch instead: set by a short or failed write(), shown until the next
// status write, the way the bare port shows its timeout bit.
//
// System calls go through a table (PpdevSyscalls) so tests can watch and
// steer them. A port object is used by one thread at a time.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"
#include "driver/portlink/port_access.h"

namespace jukepak::portlink {

struct PpdevSyscalls {
  int (*open)(const char* path, int flags);
  int (*close)(int fd);
  int (*ioctl)(int fd, unsigned long request, void* arg);
  ssize_t (*write)(int fd, const void* data, size_t size);
  uint64_t (*now_ms)();  // monotonic milliseconds
};

// The real system calls, and CLOCK_MONOTONIC for the clock.
const PpdevSyscalls& LinuxPpdevSyscalls();

// $JUKEPAK_PARPORT when set and not empty, else /dev/parport0.
std::string PpdevDevicePath();

// True when `device` can be opened for reading and writing (it is not claimed).
bool PpdevDeviceOpens(const std::string& device, const PpdevSyscalls& sys);

class PpdevPort final {
 public:
  // Opens `device` (O_NONBLOCK), registers for exclusive use (PPEXCL) and
  // claims the port (PPCLAIM), sets forward data direction, EPP mode for
  // write() and the fast EPP write (PPSETFLAGS PP_FASTWRITE). Fails
  // with kNotFound / kBusy / kIoError and a message naming the step; nothing
  // stays open on failure. `sys` must outlive the port.
  static Result Claim(const std::string& device, const PpdevSyscalls& sys,
                      std::unique_ptr<PpdevPort>* port);

  // Sends pending EPP bytes, releases the port (PPRELEASE) and closes it.
  ~PpdevPort();
  PpdevPort(const PpdevPort&) = delete;
  PpdevPort& operator=(const PpdevPort&) = delete;

  void Write(PortRegister reg, uint8_t value);
  uint8_t Read(PortRegister reg);
  uint64_t NowMs() { return sys_->now_ms(); }

  // ioctl or write() calls that failed since the claim (each is also said
  // once on the debug channel).
  uint64_t failedCalls() const { return failed_calls_; }

 private:
  PpdevPort(const PpdevSyscalls& sys, int fd) : sys_(&sys), fd_(fd) {}
  void Ioctl(unsigned long request, void* arg);
  void FlushEpp();

  const PpdevSyscalls* sys_;
  int fd_;
  uint8_t epp_pending_[512] = {};
  size_t epp_count_ = 0;
  bool epp_timed_out_ = false;
  uint64_t failed_calls_ = 0;
};

static_assert(PortAccess<PpdevPort>);

}  // namespace jukepak::portlink
