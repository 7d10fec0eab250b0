// Deadline: the bound of one of Portlink's waits, on the port's clock.
//
// A wait asks Passed() before each poll and gives up only when the poll that
// followed a passed deadline fails too. A process that was descheduled past
// the bound (a loaded machine, a laptop waking up) thus looks once more before
// it calls the player gone: time the driver did not see is not the device's
// fault.
#pragma once

#include <cstdint>

#include "driver/portlink/port_access.h"

namespace jukepak::portlink {

template <PortAccess Port>
class Deadline {
 public:
  // Starts the wait now. The port must outlive the deadline.
  Deadline(Port& port, uint64_t limit_ms)
      : port_(port), start_ms_(port.NowMs()), limit_ms_(limit_ms) {}

  // Milliseconds since the start; one clock reading.
  uint64_t ElapsedMs() { return port_.NowMs() - start_ms_; }
  bool Passed() { return ElapsedMs() >= limit_ms_; }
  bool Passed(uint64_t elapsed_ms) const { return elapsed_ms >= limit_ms_; }

 private:
  Port& port_;
  uint64_t start_ms_;
  uint64_t limit_ms_;
};

}  // namespace jukepak::portlink
