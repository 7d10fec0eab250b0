// The checker's findings as problem codes. Every kind of damage the checker
// knows has one code, a short stable name (what scripts and `fsck --json`
// see), a text (what people read) and the remedy the checker applies when
// the mode of the run says to mend it. Where one finding can be mended in two
// ways, each way has its own code, so a test or a script can tell which one
// was taken.
//
// Codes are grouped by the step that raises them: 0x01.. the header, 0x02..
// the FAT sweep, 0x03.. the directory, 0x04.. the chains, 0x05.. the lost
// clusters and the summary, 0x06.. the drive itself. Codes never change
// meaning once released; new ones are added at the end of their group.
#pragma once

#include <cstdint>
#include <string>

namespace jukepak::checker {

enum class Problem : uint16_t {
  // The header's structure, checked in this order; the first that fails is
  // the one reported.
  kHeaderSignature = 0x0101,
  kAudioStartsTooEarly = 0x0102,
  kFatStartsTooEarly = 0x0103,
  kAudioOverlapsFat = 0x0104,
  kCdRunOverlapsAudio = 0x0105,
  kCdRunNotAtEnd = 0x0106,
  kAudioAreaMisSized = 0x0107,
  kFatTooSmall = 0x0108,
  kFatTooBig = 0x0109,
  // Header fields worked out again from the drive's size and the CD records.
  kHeaderFieldRebuilt = 0x0110,
  kCdRunRebuilt = 0x0111,
  kCdStartWithoutCds = 0x0112,
  // Nothing can be rebuilt: only a fresh volume remains.
  kNeedsReinitializing = 0x0120,

  kFatOutOfRange = 0x0201,
  kPlaceholderChain = 0x0202,

  kCdDuplicate = 0x0301,
  kCdInvalid = 0x0302,
  kCdNoTracks = 0x0303,
  kCdTrackCount = 0x0304,
  kTrackStartCluster = 0x0305,
  kTrackSignature = 0x0306,
  kIndexMark = 0x0307,
  kTooManyIndexMarks = 0x0308,

  kListedTwice = 0x0401,
  kChainUnterminated = 0x0402,
  kChainIntoCdArea = 0x0403,
  kChainIntoPlaceholder = 0x0404,
  kChainEndedAtSize = 0x0405,
  kCrosslinked = 0x0406,
  kCloneShared = 0x0407,
  kCrosslinkedRemoved = 0x0408,
  kNoRoomToClone = 0x0409,
  kClusterAboveMarkLimit = 0x040A,
  kSizeMismatch = 0x040B,

  kLostClusters = 0x0501,
  kClustersUsed = 0x0502,
  kLinkageFaults = 0x0503,

  kDriveTooSmall = 0x0601,
};

// What the checker does about a problem when it mends it.
enum class Remedy {
  kNone,             // a report only (a summary, or a finding whose remedy follows as its own problem)
  kRebuildHeader,    // sets a header field to the value worked out again
  kReinitialize,     // a fresh, empty volume (asked for separately: it erases everything)
  kFreeEntries,      // sets FAT entries free
  kRestoreEntries,   // writes the placeholder's FAT entries 0 and 1 again
  kRemoveCd,         // takes a CD record out of the run
  kRemoveTrack,      // takes a track out of its CD record
  kEndChain,         // ends a chain where the track's size says
  kCloneClusters,    // gives a track its own copies of clusters it shares
  kMoveClusters,     // copies a track's clusters to free ones elsewhere
  kSetSize,          // sets a track's size to what its chain holds
  kFreeClusters,     // frees clusters in use that no track owns
};

// Whether a problem is damage (the volume is not clean while it is there) or
// a summary line.
enum class Severity { kDamage, kInfo };

struct ProblemInfo {
  Problem problem;
  const char* name;  // lower-case words joined by '-'
  // The text, with these fields of ProblemDetails expanded: %a album, %t
  // title, %A otherAlbum, %T otherTitle, %s note, %d cd (decimal), %n track
  // (decimal), %1 %2 %3 first/second/third (decimal), %c cluster, %x x, %y y
  // (eight hex digits), %p percent (two digits at least), %% a percent sign.
  const char* text;
  Remedy remedy;
  Severity severity;
};

// What a problem's text names. Album and title texts are UTF-8, converted
// from the volume's Latin-1 as they are read (CheckEngine::Album, Title).
struct ProblemDetails {
  std::string album, title, otherAlbum, otherTitle, note;
  uint64_t cd = 0, track = 0, first = 0, second = 0, third = 0, percent = 0;
  uint32_t cluster = 0, x = 0, y = 0;
};

// One problem as it was raised: its code and its text.
struct Finding {
  Problem problem;
  std::string text;  // UTF-8, ends in "\n"
};

// The table entry of `problem`. Every enumerator has one.
const ProblemInfo& DescribeProblem(Problem problem);
// The problem's text with `details` filled in.
std::string ProblemText(Problem problem, const ProblemDetails& details);
// Every problem of the table, in code order (for the README and for tests
// that go through all of them).
const ProblemInfo* ProblemTable(size_t* count);

}  // namespace jukepak::checker
