// bench_portlink: what Portlink costs per sector over the simulated board.
//
// For each transfer it prints the port operations per sector that the board
// counted next to the least the protocol allows (the same transfer with
// every handshake answered at the first status read and the disk ready at
// the first status poll), and the simulated stack's throughput in MB/s of
// wall time. In most scenarios the disk answers every status poll at once
// (busy-reads=0), so the counts are the driver's own; the last two keep the
// simulator's default drive, busy for two polls after each command, each
// written sector and each read's last sector, to show what waiting costs. A
// plain timing program: no arguments.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "driver/portlink/disk_access.h"
#include "driver/portlink/message_sink.h"
#include "driver/sim/interface_board.h"
#include "driver/sim/sim_port.h"

namespace {

using jukepak::portlink::DiskAccess;
using jukepak::sim::InterfaceBoard;
using jukepak::sim::MemoryMedium;
using jukepak::sim::SimFaults;
using jukepak::sim::SimPort;

constexpr uint32_t kDiskSectors = 65536;  // 32 MB
constexpr uint32_t kTransferSectors = 8192;

class QuietSink final : public jukepak::portlink::MessageSink {
 public:
  void Debug(const char*) override {}
  void Failure(const char*) override {}
};

// Port operations of the protocol's pieces, with no waiting at all.
constexpr double kExchange = 6;                  // data, control, status; twice
constexpr double kRegisterRead = 3 * kExchange;  // 0x04rr and two fillers
constexpr double kRegisterWrite = 2 * kExchange;
constexpr double kTaskFile = 6 * kRegisterWrite;
// A read byte: two strobes, two status reads that see the edges, two more
// that take the nibbles.
constexpr double kReadSector = kExchange + 512 * 6;
// EPP: the 0x0B00 word, control 4, the status write, 512 data writes and the
// status read that ends the block.
constexpr double kEppSector = kExchange + 1 + 1 + 512 + 1;
// Standard port: 256 pairs of data, strobe and status read, twice.
constexpr double kSppSector = kExchange + 256 * 6;

struct Scenario {
  const char* name;
  bool write;
  bool epp;
  uint32_t per_call;  // sectors per ReadSectors/WriteSectors call
  uint32_t busy_reads = 0;
};

// The least port operations per sector for `s`: per-sector data, the waits
// the protocol makes (ready per command, data request per command for reads
// and per sector for writes, the final wait of each call), the task files
// and, for writes, the brackets.
double MinimumPerSector(const Scenario& s) {
  const double commands = (s.per_call + 15) / 16;
  const double per_call = s.per_call;
  if (!s.write) {
    return kReadSector +
           (commands * (kRegisterRead + kTaskFile + kRegisterRead) + kRegisterRead) / per_call;
  }
  const double data = (s.epp ? kEppSector : kSppSector) + kRegisterRead;
  const double brackets = 2 * kExchange + kRegisterRead;  // 0x0A00, final wait, 0x0AA0
  return data + (commands * (kRegisterRead + kTaskFile) + brackets) / per_call;
}

void Run(const Scenario& s) {
  SimFaults faults;
  faults.busy_reads = s.busy_reads;
  faults.epp_broken = !s.epp;  // Open then chooses the standard port
  SimPort port(
      std::make_unique<InterfaceBoard>(std::make_unique<MemoryMedium>(kDiskSectors), faults));
  QuietSink sink;
  DiskAccess<SimPort> disk(port, sink);
  if (disk.Open() != 0 || disk.eppEnabled() != s.epp) {
    std::printf("%-38s Open failed\n", s.name);
    return;
  }
  std::vector<uint8_t> buffer(size_t(s.per_call) * 512, 0x5A);
  port.board().ClearPortOps();
  const auto start = std::chrono::steady_clock::now();
  for (uint32_t done = 0; done < kTransferSectors; done += s.per_call) {
    const uint32_t sector = 1024 + done;
    const int32_t rc = s.write ? disk.WriteSectors(sector, s.per_call, buffer.data())
                               : disk.ReadSectors(sector, s.per_call, buffer.data());
    if (rc != 0) {
      std::printf("%-38s transfer failed at sector %u\n", s.name, sector);
      return;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double ops = double(port.board().portOps().total()) / kTransferSectors;
  const double minimum = MinimumPerSector(s);
  const double megabytes = double(kTransferSectors) * 512 / 1e6;
  std::printf("%-38s %10.1f %10.1f %7.2f%% %9.1f\n", s.name, ops, minimum,
              100.0 * (ops - minimum) / minimum, megabytes / seconds);
}

}  // namespace

int main() {
  std::printf("Portlink over the simulated board: %u sectors per scenario\n", kTransferSectors);
  std::printf("%-38s %10s %10s %8s %9s\n", "transfer", "ops/sector", "minimum", "over", "MB/s");
  const Scenario scenarios[] = {
      {"read, 16 sectors per call", false, true, 16},
      {"read, 1 sector per call", false, true, 1},
      {"read, 128 sectors per call", false, true, 128},
      {"write EPP, 16 sectors per call", true, true, 16},
      {"write EPP, 1 sector per call", true, true, 1},
      {"write standard port, 16 per call", true, false, 16},
      {"write standard port, 1 per call", true, false, 1},
      {"read, 16 per call, drive busy 2 polls", false, true, 16, 2},
      {"write EPP, 16 per call, busy 2 polls", true, true, 16, 2},
  };
  for (const Scenario& s : scenarios) Run(s);

  // The cost of Open itself: resets, the SRAM test, the EPP decision.
  SimFaults faults;
  SimPort port(
      std::make_unique<InterfaceBoard>(std::make_unique<MemoryMedium>(kDiskSectors), faults));
  QuietSink sink;
  DiskAccess<SimPort> disk(port, sink);
  const auto start = std::chrono::steady_clock::now();
  const int32_t rc = disk.Open();
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("Open: result %d, %llu port operations, %llu ms of simulated time, %.1f ms wall\n",
              rc, static_cast<unsigned long long>(port.board().portOps().total()),
              static_cast<unsigned long long>(port.board().clock().shown()), ms);
  return 0;
}
