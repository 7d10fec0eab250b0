#include "driver/portlink/ppdev_port.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/debug_channel.h"

namespace jukepak::portlink {
namespace {

int SysOpen(const char* path, int flags) { return ::open(path, flags); }
int SysClose(int fd) { return ::close(fd); }
int SysIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
ssize_t SysWrite(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

const PpdevSyscalls kLinux = {SysOpen, SysClose, SysIoctl, SysWrite, MonotonicMs};

// O_NONBLOCK makes ppdev's write() return after the port driver's first
// attempt, instead of retrying from a timed-out byte (see FlushEpp).
constexpr int kOpenFlags = O_RDWR | O_CLOEXEC | O_NONBLOCK;

Result Failed(ResultCode code, const std::string& step, const std::string& device, int error) {
  return Result::Error(code, step + " " + device + ": " + std::strerror(error));
}

}  // namespace

const PpdevSyscalls& LinuxPpdevSyscalls() { return kLinux; }

std::string PpdevDevicePath() {
  const char* named = std::getenv("JUKEPAK_PARPORT");
  if (named != nullptr && named[0] != '\0') return named;
  return "/dev/parport0";
}

bool PpdevDeviceOpens(const std::string& device, const PpdevSyscalls& sys) {
  const int fd = sys.open(device.c_str(), kOpenFlags);
  if (fd < 0) return false;
  sys.close(fd);
  return true;
}

Result PpdevPort::Claim(const std::string& device, const PpdevSyscalls& sys,
                        std::unique_ptr<PpdevPort>* port) {
  port->reset();
  const int fd = sys.open(device.c_str(), kOpenFlags);
  if (fd < 0) {
    const int error = errno;
    return Failed(error == ENOENT ? ResultCode::kNotFound : ResultCode::kIoError, "cannot open",
                  device, error);
  }
  // PPEXCL must come before the claim: no other driver may share the port
  // while the protocol runs, or the exchange would be interleaved.
  if (sys.ioctl(fd, PPEXCL, nullptr) != 0 || sys.ioctl(fd, PPCLAIM, nullptr) != 0) {
    const int error = errno;
    sys.close(fd);
    return Failed(ResultCode::kBusy, "cannot claim", device, error);
  }
  int forward = 0;
  int mode = IEEE1284_MODE_EPP;
  int fast_write = PP_FASTWRITE;
  if (sys.ioctl(fd, PPDATADIR, &forward) != 0 || sys.ioctl(fd, PPSETMODE, &mode) != 0 ||
      sys.ioctl(fd, PPSETFLAGS, &fast_write) != 0) {
    const int error = errno;
    sys.ioctl(fd, PPRELEASE, nullptr);
    sys.close(fd);
    return Failed(ResultCode::kIoError, "cannot set up", device, error);
  }
  port->reset(new PpdevPort(sys, fd));
  return Result::Ok();
}

PpdevPort::~PpdevPort() {
  FlushEpp();
  sys_->ioctl(fd_, PPRELEASE, nullptr);
  sys_->close(fd_);
}

void PpdevPort::Ioctl(unsigned long request, void* arg) {
  if (sys_->ioctl(fd_, request, arg) == 0) return;
  if (failed_calls_++ == 0) {
    DebugPrint("portlink: parallel port ioctl failed: %s\n", std::strerror(errno));
  }
}

// How the kernel writes EPP data decides how a timeout can be seen here.
// ppdev's write() hands the bytes to the port driver's EPP write in chunks
// and, after a chunk cut short, goes on with the rest: parport_pc's plain EPP
// write stops at the first timed-out byte (clearing the port's timeout bit)
// and returns the bytes before it, so ppdev retries the timed-out byte, and
// the count comes back short only when such a retry times out at once. A
// one-off timeout is then invisible, and if the board took the byte although
// its acknowledge came late, the byte reaches it twice and the rest of the
// sector lands one byte further on.
//
// So the port is set up so that every timeout shows and nothing is retried:
// with PP_FASTWRITE, parport_pc sends the block in one string output and
// looks at the timeout bit once after it, failing the write (EIO) when it is
// set; O_NONBLOCK makes ppdev return after the first attempt, which also
// covers port drivers that ignore the fast flag (their short count is then
// the first timeout's). Any result but the whole block is an EPP timeout.
void PpdevPort::FlushEpp() {
  if (epp_count_ == 0) return;
  const ssize_t sent = sys_->write(fd_, epp_pending_, epp_count_);
  if (sent != ssize_t(epp_count_)) {
    epp_timed_out_ = true;  // the cycle that was not acknowledged timed out
    // EIO is how the fast write reports the timeout; anything else is a failed call.
    if (sent < 0 && errno != EIO && failed_calls_++ == 0) {
      DebugPrint("portlink: EPP write failed: %s\n", std::strerror(errno));
    }
  }
  epp_count_ = 0;
}

void PpdevPort::Write(PortRegister reg, uint8_t value) {
  if (reg == PortRegister::kEppData) {
    epp_pending_[epp_count_++] = value;
    if (epp_count_ == sizeof epp_pending_) FlushEpp();
    return;
  }
  FlushEpp();
  unsigned char byte = value;
  switch (reg) {
    case PortRegister::kData:
      Ioctl(PPWDATA, &byte);
      break;
    case PortRegister::kControl:
      Ioctl(PPWCONTROL, &byte);
      break;
    case PortRegister::kStatus:
      // ppdev cannot write the status register; the write's purpose, clearing
      // a timeout left from before, is served by the latch.
      epp_timed_out_ = false;
      break;
    case PortRegister::kEppData:
      break;
  }
}

uint8_t PpdevPort::Read(PortRegister reg) {
  FlushEpp();
  unsigned char byte = 0xFF;
  switch (reg) {
    case PortRegister::kStatus:
      Ioctl(PPRSTATUS, &byte);
      return uint8_t(epp_timed_out_ ? (byte | 0x01) : (byte & ~0x01));
    case PortRegister::kData:
      Ioctl(PPRDATA, &byte);
      return byte;
    case PortRegister::kControl:
      Ioctl(PPRCONTROL, &byte);
      return byte;
    case PortRegister::kEppData:
      return 0xFF;  // the protocol never reads EPP data
  }
  return byte;
}

}  // namespace jukepak::portlink
