// The simulated interface board fed arbitrary port traffic: no crash, no
// transfer outside its disk. Each input byte pair is one port operation: the
// first byte's low two bits pick the register (data, status, control, EPP
// data), bit 2 a read instead of a write; the second byte is the value.

#include <memory>

#include "driver/sim/disk_medium.h"
#include "driver/sim/interface_board.h"
#include "driver/sim/sim_faults.h"

using namespace jukepak;
using portlink::PortRegister;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::SimFaults faults;
  sim::InterfaceBoard board(std::make_unique<sim::MemoryMedium>(64), faults);
  static constexpr PortRegister kRegisters[] = {PortRegister::kData, PortRegister::kStatus,
                                                PortRegister::kControl, PortRegister::kEppData};
  for (size_t i = 0; i + 1 < size; i += 2) {
    const PortRegister reg = kRegisters[data[i] & 3];
    if ((data[i] & 4) != 0) {
      (void)board.PortRead(reg);
    } else {
      board.PortWrite(reg, data[i + 1]);
    }
  }
  return 0;
}
