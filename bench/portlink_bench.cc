// bench_portlink: what Portlink costs per sector over the simulated board.
//
// For each transfer it prints the port operations per sector that the board
// counted next to the least the protocol allows (the same transfer with
// every handshake answered at the first status read and the disk ready at
// the first status poll), and the simulated stack's throughput in MB/s of
// wall time. In most scenarios the disk answers every status poll at once
// (busy-reads=0), so the counts are the driver's own; the last two keep the
// simulator's default drive, busy for two polls after each command, each
// written sector and each read's last sector, to show what waiting costs.
// Last, the port operations of mounting a volume of 1,000 tracks against the
// least a mount must read. A plain timing program: no arguments.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/portlink/disk_access.h"
#include "driver/portlink/message_sink.h"
#include "driver/sim/interface_board.h"
#include "driver/sim/sim_port.h"
#include "format/sector_device.h"
#include "format/volume_header.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"

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

// ---- the mount of a 1,000-track volume ----

// A SectorDevice over Portlink's disk access on the simulated board, so that
// the engine's mount goes through the same protocol code as the module.
class PortlinkDevice final : public jukepak::SectorDevice {
 public:
  explicit PortlinkDevice(DiskAccess<SimPort>& disk) : disk_(disk) {}
  jukepak::Result Open() override { return jukepak::Result::Ok(); }  // opened by the bench
  void Close() override {}
  jukepak::Result QuerySectorCount(uint32_t* count) override {
    return Checked(disk_.QueryNumSectors(count));
  }
  jukepak::Result Read(uint32_t sector, uint32_t count, uint8_t* out) override {
    return Checked(disk_.ReadSectors(sector, count, out));
  }
  jukepak::Result Write(uint32_t sector, uint32_t count, const uint8_t* in) override {
    return Checked(disk_.WriteSectors(sector, count, in));
  }
  uint32_t ReadRemoteCode() override { return 0; }

 private:
  static jukepak::Result Checked(int32_t rc) {
    return rc == 0 ? jukepak::Result::Ok()
                   : jukepak::Result::Error(jukepak::ResultCode::kIoError, "transfer failed");
  }
  DiskAccess<SimPort>& disk_;
};

constexpr uint32_t kMountCds = 50;
constexpr uint32_t kTracksPerCd = 20;

// 50 CDs of 20 one-cluster tracks, and the first cluster of every track.
jukepak::MemoryDevice ThousandTrackVolume(std::vector<uint32_t>* first_clusters) {
  std::vector<jukepak::testing::CdContent> cds;
  for (uint32_t c = 0; c < kMountCds; ++c) {
    jukepak::testing::CdContent cd{"Artist " + std::to_string(c), "Album " + std::to_string(c), {}};
    for (uint32_t t = 0; t < kTracksPerCd; ++t) {
      cd.songs.push_back({"Track " + std::to_string(t), cd.artist,
                          jukepak::testing::TestAudio(5000, c * kTracksPerCd + t)});
    }
    cds.push_back(std::move(cd));
  }
  jukepak::MemoryDevice image(kDiskSectors);
  if (!jukepak::testing::BuildVolume(&image, cds).ok()) std::printf("building the volume failed\n");
  jukepak::QuietReporter reporter;
  jukepak::PlayerVolume volume(&reporter);
  if (jukepak::testing::MountVolume(volume, &image).ok()) {
    for (const auto& cd : volume.model().playerCds) {
      for (const auto& track : cd->tracks) first_clusters->push_back(track->firstCluster);
    }
  }
  return image;
}

void MountBench() {
  std::vector<uint32_t> firsts;
  jukepak::MemoryDevice image = ThousandTrackVolume(&firsts);
  auto medium = std::make_unique<MemoryMedium>(kDiskSectors);
  std::memcpy(medium->sector(0), image.bytes().data(), image.bytes().size());
  SimFaults faults;
  faults.busy_reads = 0;  // the driver's own operations, as in the rows above
  SimPort port(std::make_unique<InterfaceBoard>(std::move(medium), faults));
  QuietSink sink;
  DiskAccess<SimPort> disk(port, sink);
  if (disk.Open() != 0) {
    std::printf("mount: Open failed\n");
    return;
  }
  jukepak::VolumeHeader header;
  disk.ReadSectors(0, 2, header.data());
  std::vector<uint8_t> buffer(size_t(header.fatSectors() + 2) * 512);
  auto ops_of = [&](const std::function<void()>& transfers) {
    port.board().ClearPortOps();
    transfers();
    return port.board().portOps().total();
  };
  auto read_records = [&](uint32_t sectors) {
    for (uint32_t first : firsts) {
      disk.ReadSectors(uint32_t(header.ClusterSector(first)), sectors, buffer.data());
    }
  };
  // The least a mount reads: the header, one record per CD, one sector per
  // track, and it must learn the disk's size and read the FAT.
  const uint64_t header_and_cds = ops_of([&] {
    disk.ReadSectors(0, 2, buffer.data());
    for (uint32_t i = 0; i < header.cdCount(); ++i) {
      disk.ReadSectors(header.cdStart() + i, 1, buffer.data());
    }
  });
  const uint64_t first_sectors = ops_of([&] { read_records(1); });
  const uint64_t whole_records = ops_of([&] { read_records(2); });
  const uint64_t size_and_fat = ops_of([&] {
    uint32_t n = 0;
    disk.QueryNumSectors(&n);
    disk.ReadSectors(header.fatStart(), header.fatSectors(), buffer.data());
  });

  jukepak::QuietReporter reporter;
  jukepak::PlayerVolume volume(&reporter);
  bool mounted = false;
  const uint64_t mount = ops_of([&] {
    mounted = volume.BindDevice(std::make_unique<PortlinkDevice>(disk)).ok() &&
              volume.CheckVolume() && volume.RunJobNow(jukepak::Job::kMount).ok();
  });
  size_t tracks = 0;
  for (const auto& cd : volume.model().playerCds) tracks += cd->tracks.size();
  if (!mounted || tracks != firsts.size()) {
    std::printf("mount: failed (%zu of %zu tracks)\n", tracks, firsts.size());
    return;
  }
  const uint64_t directory = header_and_cds + first_sectors;
  const uint64_t minimum = directory + size_and_fat;
  const uint64_t whole = header_and_cds + whole_records + size_and_fat;
  auto row = [](const char* what, uint64_t ops, uint64_t against) {
    std::printf("  %-62s %10llu", what, static_cast<unsigned long long>(ops));
    if (against != 0)
      std::printf(" %8.2f%%", 100.0 * (double(ops) - double(against)) / double(against));
    std::printf("\n");
  };
  std::printf("\nMount over the simulated board: %u CDs, %zu tracks, %u FAT sectors\n",
              header.cdCount(), firsts.size(), header.fatSectors());
  std::printf("  %-62s %10s %9s\n", "", "port ops", "over");
  row("minimum: header, a record per CD, a sector per track", directory, 0);
  row("minimum with the disk's size and the FAT", minimum, 0);
  row("the mount (header check and mount job)", mount, minimum);
  row("the same with whole 2-sector track records", whole, minimum);
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
  MountBench();
  return 0;
}
