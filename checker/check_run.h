// RunCheck: one whole run of the checker over a player, as Volmend's worker
// makes it: open the device, read the header and check it, read the FAT, the
// CD sectors and the track records, check them as a dry run, and, when
// something was found and the user asks for it, either repair the volume (a
// second run over fresh copies of what was read, this time writing every
// step) or, when the header is beyond repair, write a fresh empty volume.
//
// A header that breaks a rule is rebuilt where the drive's size and the CD
// records allow it (the same verdict Songlift's mount follows); only what
// cannot be rebuilt is offered for reinitializing.
//
// The device is opened here but not closed: the caller closes it once the run
// has ended (Volmend does so on its window thread). Every line, question and
// notice goes through the console, from the calling thread.
#pragma once

#include "checker/check_console.h"
#include "format/sector_device.h"

namespace jukepak::checker {

enum class CheckOutcome {
  kClean,                // nothing found: "Filesystem is OK"
  kRepaired,             // found and repaired
  kReinitialized,        // the header was beyond repair; a fresh volume was written
  kLeft,                 // found and left as it is (declined, or checking only)
  kCommunicationsError,  // Open, the size query, a read or a repair write failed
  kReinitializeFailed,   // a write of the reinitialization failed
  kCancelled,            // the stop check ended the run
  kDriveTooSmall,        // the drive cannot hold a volume at all
};

CheckOutcome RunCheck(SectorDevice& device, CheckConsole& console);

}  // namespace jukepak::checker
