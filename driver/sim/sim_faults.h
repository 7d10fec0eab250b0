// SimFaults: the fault switches of the simulated interface board, and how
// they are spelled in JUKEPAK_SIM_FAULTS (read when portlink-sim.dld opens):
// a comma-separated list such as "cable-pulled" or
// "epp-timeout-at=3,ready-after-ms=500". Numbers are decimal or 0x-hex.
//
//   cable-pulled         nothing reaches the board; no handshake ever answers
//   cable-pulled-after-ops=N  the cable goes once the board has seen N port
//                        operations (counted since it was made, the open-time
//                        tests included): a pull in the middle of a job
//   echo-errors          echo words (0x00nn, nn != 0) are answered with bit 0 flipped
//   bad-sram=A           the SRAM byte at address A reads back with bit 0 flipped
//   never-ready          the disk stays busy for good
//   ready-after-ms=N     after its reset the disk stays busy for N ms
//   epp-broken           bytes through the EPP data port arrive inverted
//   epp-timeout-at=K     the K-th EPP sector block (counted from 1 since the
//                        board was made, the open-time test included) times out
//   epp-late-ack-at=K    in the K-th EPP block one cycle (byte kEppGlitchByte)
//                        times out once although the board took its byte: its
//                        acknowledge came too late for the port
//   epp-lost-byte-at=K   in the K-th EPP block one cycle (byte kEppGlitchByte)
//                        times out once and the board missed its byte
//   disk-error-at=S      reading or writing sector S ends with the error bit
//   register-error-at=K  the K-th read of the sector-count register after a
//                        disk reset returns the value inverted
//   busy-reads=N         status reads that show BSY after each command, each
//                        written sector and each read's last sector (default 2)
#pragma once

#include <cstdint>
#include <optional>

#include "base/result.h"

namespace jukepak::sim {

inline constexpr char kSimFaultsVariable[] = "JUKEPAK_SIM_FAULTS";
// The byte of an EPP block whose cycle the one-off EPP faults time out.
inline constexpr uint32_t kEppGlitchByte = 100;

struct SimFaults {
  bool cable_pulled = false;
  uint32_t cable_pulled_after_ops = 0;  // 0: never
  bool echo_errors = false;
  std::optional<uint16_t> bad_sram_address;
  bool never_ready = false;
  uint32_t ready_after_ms = 0;
  bool epp_broken = false;
  uint32_t epp_timeout_at = 0;  // 0: never
  uint32_t epp_late_ack_at = 0;   // 0: never
  uint32_t epp_lost_byte_at = 0;  // 0: never
  std::optional<uint32_t> disk_error_sector;
  uint32_t register_error_at = 0;  // 0: never
  uint32_t busy_reads = 2;
};

// Parses `text` (null or empty: no faults) into *faults. An unknown switch, a
// missing or malformed number, or an SRAM address above 0x7FFF fails with
// kInvalidArgument naming the item, so a typing mistake never runs a test
// without its fault.
Result ParseSimFaults(const char* text, SimFaults* faults);

}  // namespace jukepak::sim
