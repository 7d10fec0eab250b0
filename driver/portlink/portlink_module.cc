// portlink.dld: Portlink over the Linux ppdev device. The port is the device
// named by JUKEPAK_PARPORT, else /dev/parport0; Open claims it exclusively
// and Close releases it.

#include <memory>

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
