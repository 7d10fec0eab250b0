// The checker over a damaged volume: the dry run, then the repair; afterwards
// a second check finds nothing and Songlift's mount succeeds.

#include <cstdlib>

#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "fuzz/volume_patches.h"
#include "volume/player_volume.h"
#include "volume/tests/test_volumes.h"

using namespace jukepak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryDevice disk = fuzzing::PristineVolume();
  fuzzing::ApplyPatches(data, size, &disk);
  {
    checker::testing::ScriptedConsole dry;
    dry.decision = checker::RepairDecision::kLeave;
    (void)checker::RunCheck(disk, dry);
    disk.Close();
  }
  checker::testing::ScriptedConsole repair;
  const checker::CheckOutcome outcome = checker::RunCheck(disk, repair);
  disk.Close();
  if (outcome != checker::CheckOutcome::kClean && outcome != checker::CheckOutcome::kRepaired &&
      outcome != checker::CheckOutcome::kReinitialized) {
    std::abort();
  }
  checker::testing::ScriptedConsole again;
  again.decision = checker::RepairDecision::kLeave;
  if (checker::RunCheck(disk, again) != checker::CheckOutcome::kClean) std::abort();
  disk.Close();
  QuietReporter reporter;
  PlayerVolume volume(&reporter);
  if (!volume.BindDevice(testing::Share(disk)).ok()) std::abort();
  if (!volume.CheckVolume()) std::abort();
  if (!volume.RunJobNow(Job::kMount).ok()) std::abort();
  return 0;
}
