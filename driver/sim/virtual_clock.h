// VirtualClock: the simulated board's millisecond clock. Time moves only when
// the clock is read (or a test skips it on): each reading shows the current
// time and then moves it on by one millisecond, so a busy wait of n ms costs n readings and no real
// time, and a bounded wait on a board that never answers ends at once.
//
// The board judges time as the driver last saw it (shown()), so a delay of
// N ms on the board lines up exactly with N ms measured by the driver.
#pragma once

#include <cstdint>

namespace jukepak::sim {

class VirtualClock {
 public:
  uint64_t Read() {
    ++readings_;
    shown_ = next_;
    next_ += 1;
    return shown_;
  }
  // Time that passes while the driver does not look, as when its process is
  // descheduled: the next reading shows `ms` more.
  void Skip(uint64_t ms) { next_ += ms; }
  // The time the last reading showed (0 before the first).
  uint64_t shown() const { return shown_; }
  // The time the next reading will show.
  uint64_t next() const { return next_; }
  uint64_t readings() const { return readings_; }

 private:
  uint64_t readings_ = 0;
  uint64_t shown_ = 0;
  uint64_t next_ = 0;
};

}  // namespace jukepak::sim
