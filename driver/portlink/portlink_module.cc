// portlink.dld: Portlink over the Linux ppdev device. The port is the device
// named by JUKEPAK_PARPORT, else /dev/parport0; Open claims it exclusively
// and Close releases it.

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "driver/portlink/portlink_entry_points.h"
#include "driver/portlink/ppdev_port.h"

namespace {

struct PpdevBackend {
  using Port = jukepak::portlink::PpdevPort;

  static const char* ModuleName() { return "portlink"; }
  static const char* DisplayName() { return "Parallel Port"; }

  static int32_t Validity() {
    return jukepak::portlink::PpdevDeviceOpens(jukepak::portlink::PpdevDevicePath(),
                                               jukepak::portlink::LinuxPpdevSyscalls())
               ? 1
               : 0;
  }

  static jukepak::Result Claim(std::unique_ptr<Port>* port) {
    return Port::Claim(jukepak::portlink::PpdevDevicePath(),
                       jukepak::portlink::LinuxPpdevSyscalls(), port);
  }
};

}  // namespace

JUKEPAK_PORTLINK_ENTRY_POINTS(PpdevBackend)

// Why Validity says 0, for the driver chooser: a missing port device, or
// one this user may not open.
JUKEPAK_DRIVER_EXPORT const char* QueryValidityReason(void) {
  static std::string reason;
  const std::string device = jukepak::portlink::PpdevDevicePath();
  const jukepak::portlink::PpdevSyscalls& sys = jukepak::portlink::LinuxPpdevSyscalls();
  const int fd = sys.open(device.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  const int error = errno;
  if (fd >= 0) {
    sys.close(fd);
    return nullptr;
  }
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    reason = "no parallel port found (" + device + " does not exist)";
  } else {
    reason = "the parallel port " + device + " cannot be opened: " + std::strerror(error);
  }
  return reason.c_str();
}
