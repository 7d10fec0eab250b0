// CheckConsole: what a check run needs from its front end. Volmend's window
// and songlift-cli fsck each supply one; the tests script one.
//
// Every call comes from the thread that runs the check (Volmend's worker).
// Texts are UTF-8 (the volume's Latin-1 names converted by the engine), one
// line each, without the "\n".
#pragma once

#include <string>

#include "checker/problem.h"

namespace jukepak::checker {

// The message boxes of a run, each with its fixed text and caption.
enum class Notice {
  kFilesystemOk,         // "Filesystem is OK", caption "Done"
  kRepairsComplete,      // "Repairs complete", caption "Done"
  kReinitialized,        // "Filesystem reinitialized", caption "Ok"
  kReinitializeFailed,   // "Error re-initializing filesystem", caption "Error"
  kCommunicationsError,  // "Communications Error!", caption "Error"
  kDriveTooSmall,        // "The drive is too small for a volume", caption "Error"
};

const char* NoticeText(Notice notice);
const char* NoticeCaption(Notice notice);

// The question asked before a reinitialization (caption "Reinitialize
// Filesystem", answers Yes and No).
inline constexpr char kReinitializeQuestion[] =
    "This writes a new, empty volume over the whole drive: every song on it is lost.\n"
    "Do you wish to proceed?\n";
inline constexpr char kReinitializeCaption[] = "Reinitialize Filesystem";

// The user's word once the dry run has found something.
enum class RepairDecision {
  kRepair,  // repair (or reinitialize, after ConfirmReinitialize)
  kLeave,   // leave the volume as it is (a declined repair, a check-only run)
  kStop,    // stop the run now
};

class CheckConsole {
 public:
  virtual ~CheckConsole() = default;

  // A line of the report list.
  virtual void ListLine(const std::string& line) = 0;
  // A problem the check raised. By default its text goes to the list, line
  // by line; a console that reports codes (fsck --json) overrides it.
  virtual void Found(const Finding& finding);
  // A progress text (Volmend shows it as its window title).
  virtual void TitleLine(const std::string& line) = 0;
  // The stop check: true ends the run at once.
  virtual bool StopRequested() = 0;
  // The dry run found something: the choice becomes available (Volmend
  // enables "Repair" and "Cancel"). `reinitialize` as AwaitRepair's: the
  // only remedy erases the drive, and the offer says so.
  virtual void OfferRepair(bool reinitialize) = 0;
  // Blocks until the user decides. `reinitialize` tells that the header is
  // beyond repair and the only repair is a fresh volume.
  virtual RepairDecision AwaitRepair(bool reinitialize) = 0;
  // Asks kReinitializeQuestion; true only for Yes.
  virtual bool ConfirmReinitialize() = 0;
  virtual void ShowNotice(Notice notice) = 0;
};

}  // namespace jukepak::checker
