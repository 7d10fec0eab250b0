// The table of problem codes, their names, texts and remedies, and the
// expansion of a text's fields.

#include <cinttypes>
#include <cstdio>

#include "checker/problem.h"

namespace jukepak::checker {
namespace {

using enum Remedy;
constexpr Severity kDamage = Severity::kDamage;
constexpr Severity kInfo = Severity::kInfo;

constexpr ProblemInfo kTable[] = {
    {Problem::kHeaderSignature, "header-signature", "Invalid header signature\n", kNone, kDamage},
    {Problem::kAudioStartsTooEarly, "audio-starts-too-early", "Audio data starts too early!\n",
     kNone, kDamage},
    {Problem::kFatStartsTooEarly, "fat-starts-too-early", "FAT starts at sector <4!\n", kNone,
     kDamage},
    {Problem::kAudioOverlapsFat, "audio-overlaps-fat", "Audio data overlaps end of FAT!\n", kNone,
     kDamage},
    {Problem::kCdRunOverlapsAudio, "cd-run-overlaps-audio",
     "CD sectors overlap end of audio data!\n", kNone, kDamage},
    {Problem::kCdRunNotAtEnd, "cd-run-not-at-end", "CD's don't start at end of drive!\n", kNone,
     kDamage},
    {Problem::kAudioAreaMisSized, "audio-area-mis-sized", "Incorrectly sized audio area\n", kNone,
     kDamage},
    {Problem::kFatTooSmall, "fat-too-small", "FAT is too small!\n", kNone, kDamage},
    {Problem::kFatTooBig, "fat-too-big", "FAT is too big!\n", kNone, kDamage},
    {Problem::kHeaderFieldRebuilt, "header-field-rebuilt",
     "Header field %s is %1; the layout of this drive gives %2\n", kRebuildHeader, kDamage},
    {Problem::kCdRunRebuilt, "cd-run-rebuilt",
     "The header lists %1 CD records from sector %2, but the run of CD records at the end of the "
     "audio area holds %3\n",
     kRebuildHeader, kDamage},
    {Problem::kCdStartWithoutCds, "cd-start-without-cds",
     "The header places its CD records at sector %2 but lists none; with no CD the place is 0\n",
     kRebuildHeader, kDamage},
    {Problem::kNeedsReinitializing, "needs-reinitializing",
     "Fatal errors detected - filesystem will require reinitializing.\n", kReinitialize, kDamage},

    {Problem::kFatOutOfRange, "fat-out-of-range", "Found out-of-range FAT entries\n", kFreeEntries,
     kDamage},
    {Problem::kPlaceholderChain, "placeholder-chain", "Placeholder track's chain repaired\n",
     kRestoreEntries, kDamage},

    {Problem::kCdDuplicate, "cd-duplicate", "CD [%a] has a duplicate record\n", kRemoveCd, kDamage},
    {Problem::kCdInvalid, "cd-invalid", "CD [%d] is invalid\n", kRemoveCd, kDamage},
    {Problem::kCdNoTracks, "cd-no-tracks", "CD [%a] has no tracks\n", kRemoveCd, kDamage},
    {Problem::kCdTrackCount, "cd-track-count", "CD [%a] has invalid track count\n", kRemoveCd,
     kDamage},
    {Problem::kTrackStartCluster, "track-start-cluster",
     "CD [%a], Track %n has invalid start cluster %c\n", kRemoveTrack, kDamage},
    {Problem::kTrackSignature, "track-signature", "CD [%a], Track %n has invalid signature\n",
     kRemoveTrack, kDamage},
    {Problem::kIndexMark, "index-mark", "[%a]:[%t] has invalid index mark %c\n", kRemoveTrack,
     kDamage},
    {Problem::kTooManyIndexMarks, "too-many-index-marks", "[%a]:[%t] has too many index marks\n",
     kRemoveTrack, kDamage},

    {Problem::kListedTwice, "listed-twice", "[%a]:[%t] is listed twice\n", kRemoveTrack, kDamage},
    {Problem::kChainUnterminated, "chain-unterminated", "[%a]:[%t] incorrectly terminated\n",
     kRemoveTrack, kDamage},
    {Problem::kChainIntoCdArea, "chain-into-cd-area",
     "[%a]:[%t] runs into the CD area at cluster %c\n", kRemoveTrack, kDamage},
    {Problem::kChainIntoPlaceholder, "chain-into-placeholder",
     "[%a]:[%t] runs into the placeholder track at cluster %c\n", kRemoveTrack, kDamage},
    {Problem::kChainEndedAtSize, "chain-ended-at-size",
     "[%a]:[%t] %s; its chain now ends at cluster %c, where its size says\n", kEndChain, kDamage},
    {Problem::kCrosslinked, "crosslinked", "[%A]:[%T] and [%a]:[%t] are crosslinked at cluster %c\n",
     kNone, kDamage},
    {Problem::kCloneShared, "clone-shared",
     "[%a]:[%t] gets its own copies of the %1 clusters it shares from cluster %c\n",
     kCloneClusters, kDamage},
    {Problem::kCrosslinkedRemoved, "crosslinked-removed",
     "[%a]:[%t] cannot be made whole and is removed\n", kRemoveTrack, kDamage},
    {Problem::kNoRoomToClone, "no-room-to-clone",
     "No free clusters for copies of the %1 clusters [%a]:[%t] shares\n", kNone, kDamage},
    {Problem::kClusterAboveMarkLimit, "cluster-above-mark-limit",
     "[%a]:[%t] has cluster %c at or above 00ff0000, which its index marks cannot name\n",
     kMoveClusters, kDamage},
    {Problem::kSizeMismatch, "size-mismatch",
     "[%a]:[%t] has size %1 but its chain of %2 clusters holds %3 bytes\n", kSetSize, kDamage},

    {Problem::kLostClusters, "lost-clusters", "%1KB in damaged files/lost chains\n", kFreeClusters,
     kDamage},
    {Problem::kClustersUsed, "clusters-used", "Clusters used: %1 - %%%p of drive\n", kNone, kInfo},
    {Problem::kLinkageFaults, "linkage-faults",
     "Linkage errors remain: %1 null, %2 multiple, %3 free\n", kNone, kDamage},

    {Problem::kDriveTooSmall, "drive-too-small",
     "The drive holds %1 sectors; a volume needs at least %2\n", kNone, kDamage},
};

void AppendNumber(std::string* out, const char* format, uint64_t value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, format, value);
  out->append(digits);
}

// Appends the expansion of field `field`; false for an unknown field letter.
bool AppendField(char field, const ProblemDetails& d, std::string* out) {
  switch (field) {
    case 'a': out->append(d.album); return true;
    case 't': out->append(d.title); return true;
    case 'A': out->append(d.otherAlbum); return true;
    case 'T': out->append(d.otherTitle); return true;
    case 's': out->append(d.note); return true;
    case 'd': AppendNumber(out, "%" PRIu64, d.cd); return true;
    case 'n': AppendNumber(out, "%" PRIu64, d.track); return true;
    case '1': AppendNumber(out, "%" PRIu64, d.first); return true;
    case '2': AppendNumber(out, "%" PRIu64, d.second); return true;
    case '3': AppendNumber(out, "%" PRIu64, d.third); return true;
    case 'p': AppendNumber(out, "%02" PRIu64, d.percent); return true;
    case 'c': AppendNumber(out, "%08" PRIx64, d.cluster); return true;
    case 'x': AppendNumber(out, "%08" PRIx64, d.x); return true;
    case 'y': AppendNumber(out, "%08" PRIx64, d.y); return true;
    case '%': out->push_back('%'); return true;
    default: return false;
  }
}

}  // namespace

const ProblemInfo* ProblemTable(size_t* count) {
  *count = sizeof kTable / sizeof kTable[0];
  return kTable;
}

const ProblemInfo& DescribeProblem(Problem problem) {
  for (const ProblemInfo& info : kTable) {
    if (info.problem == problem) return info;
  }
  // Unreachable for any enumerator (the table test goes through all of them);
  // an unknown value reads as a plain damage report.
  static constexpr ProblemInfo kUnknown{Problem(0), "unknown", "Unknown problem\n", kNone, kDamage};
  return kUnknown;
}

std::string ProblemText(Problem problem, const ProblemDetails& details) {
  const char* text = DescribeProblem(problem).text;
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '%' && p[1] != '\0' && AppendField(p[1], details, &out)) {
      ++p;
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

}  // namespace jukepak::checker
