// The port-access layer under Portlink: what a backend gives the link layer.
//
// A port is reached through two operations, write a byte to one of its
// registers and read a byte from one, plus a monotonic millisecond clock.
// The whole protocol (link layer and disk access) is written once over this
// shape; the backends are the Linux ppdev device and the simulated interface
// board. The link layer takes the backend as a template parameter, so the
// per-byte loops call the backend's members directly (no virtual dispatch):
// a backend should be a final class with small inline members.
#pragma once

#include <concepts>
#include <cstdint>

namespace jukepak::portlink {

// The registers of a PC parallel port, as offsets from its base address
// (0x378 for the first port). Bit numbers elsewhere are those of the register
// values as software reads and writes them.
enum class PortRegister : uint8_t {
  kData = 0,     // 8 bits driven to the interface
  kStatus = 1,   // bit 7 handshake, bits 6..3 a nibble, bit 0 EPP timeout
  kControl = 2,  // the strobes that clock each half of a transfer
  kEppData = 4,  // one byte per write; the port hardware does the EPP handshake
};

// Write(reg, value) puts a byte in a register; Read(reg) returns a register's
// value; NowMs() reads a monotonic millisecond clock (any origin). None of
// them fails: a port that stops answering shows up as status values that
// never change, which the link layer's bounded waits turn into failures.
template <typename Port>
concept PortAccess = requires(Port& port, PortRegister reg, uint8_t value) {
  port.Write(reg, value);
  { port.Read(reg) } -> std::same_as<uint8_t>;
  { port.NowMs() } -> std::same_as<uint64_t>;
};

}  // namespace jukepak::portlink
