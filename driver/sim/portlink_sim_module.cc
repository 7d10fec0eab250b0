// portlink-sim.dld: Portlink over the simulated interface board.
//
// Open makes a new board: its disk is the image file a disk-image module
// would open (JUKEPAK_IMAGE, else the built-in player at the default path),
// locked for this process, its remote-control receiver the image's side
// file "<image>.ir", and its faults those named in JUKEPAK_SIM_FAULTS. Close
// releases the image and reports the board's port operations on the debug
// channel.

#include <cinttypes>
#include <cstdlib>
#include <memory>

#include "base/debug_channel.h"
#include "driver/image_file.h"
#include "driver/portlink/portlink_entry_points.h"
#include "driver/sim/image_medium.h"
#include "driver/sim/sim_faults.h"
#include "driver/sim/sim_port.h"

namespace {

// The module's port: the simulated port, saying on the debug channel what
// the board counted when the port is released.
class ReportingSimPort final {
 public:
  explicit ReportingSimPort(std::unique_ptr<jukepak::sim::InterfaceBoard> board)
      : port_(std::move(board)) {}
  ~ReportingSimPort() {
    const jukepak::sim::PortOpCounts& ops = port_.board().portOps();
    jukepak::DebugPrint("portlink-sim: %" PRIu64 " port operations (%" PRIu64 " data, %" PRIu64
                        " control, %" PRIu64 " status writes, %" PRIu64 " EPP data, %" PRIu64
                        " status reads, %" PRIu64 " other reads), %" PRIu64 " clock readings\n",
                        ops.total(), ops.data_writes, ops.control_writes, ops.status_writes,
                        ops.epp_data_writes, ops.status_reads, ops.other_reads,
                        port_.board().clock().readings());
  }
  ReportingSimPort(const ReportingSimPort&) = delete;
  ReportingSimPort& operator=(const ReportingSimPort&) = delete;

  void Write(jukepak::portlink::PortRegister reg, uint8_t value) { port_.Write(reg, value); }
  uint8_t Read(jukepak::portlink::PortRegister reg) { return port_.Read(reg); }
  uint64_t NowMs() { return port_.NowMs(); }

 private:
  jukepak::sim::SimPort port_;
};

struct SimBackend {
  using Port = ReportingSimPort;

  static const char* ModuleName() { return "portlink-sim"; }
  static const char* DisplayName() { return "Simulated Parallel Port"; }
  static int32_t Validity() { return 1; }

  static jukepak::Result Claim(std::unique_ptr<Port>* port) {
    jukepak::sim::SimFaults faults;
    jukepak::Result result =
        jukepak::sim::ParseSimFaults(std::getenv(jukepak::sim::kSimFaultsVariable), &faults);
    if (!result.ok()) return result;
    std::unique_ptr<jukepak::ImageFile> image;
    result = jukepak::OpenImageFromEnvironment(&image);
    if (!result.ok()) return result;
    auto medium = std::make_unique<jukepak::sim::ImageMedium>(std::move(image));
    jukepak::ImageFile* file = &medium->image();
    auto board = std::make_unique<jukepak::sim::InterfaceBoard>(std::move(medium), faults);
    board->SetRemoteSource([file] { return uint16_t(file->TakeRemoteCode()); });
    jukepak::DebugPrint("portlink-sim: board over %s (%u sectors)\n", file->path().c_str(),
                        file->sectorCount());
    *port = std::make_unique<Port>(std::move(board));
    return jukepak::Result::Ok();
  }
};

}  // namespace

JUKEPAK_PORTLINK_ENTRY_POINTS(SimBackend)
