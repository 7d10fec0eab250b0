// SimPort: the port backend over the simulated interface board. Port
// operations go straight to the board (no virtual calls); the clock is the
// board's virtual clock, so the link's waits cost no real time.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/portlink/port_access.h"
#include "driver/sim/interface_board.h"

namespace jukepak::sim {

class SimPort final {
 public:
  explicit SimPort(std::unique_ptr<InterfaceBoard> board) : board_(std::move(board)) {}

  void Write(portlink::PortRegister reg, uint8_t value) { board_->PortWrite(reg, value); }
  uint8_t Read(portlink::PortRegister reg) { return board_->PortRead(reg); }
  uint64_t NowMs() { return board_->clock().Read(); }

  InterfaceBoard& board() { return *board_; }

 private:
  std::unique_ptr<InterfaceBoard> board_;
};

static_assert(portlink::PortAccess<SimPort>);

}  // namespace jukepak::sim
