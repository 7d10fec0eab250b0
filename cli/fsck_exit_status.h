// The exit statuses of songlift-cli fsck, as e2fsck's, so that scripts
// written for fsck read them alike.
#pragma once

namespace songlift::cli {

inline constexpr int kFsckClean = 0;        // nothing found
inline constexpr int kFsckRepaired = 1;     // errors found and repaired
inline constexpr int kFsckLeft = 4;         // errors found and left
inline constexpr int kFsckOperational = 8;  // no driver, a communications failure
inline constexpr int kFsckUsage = 16;       // usage error
inline constexpr int kFsckCancelled = 32;   // cancelled by Ctrl-C

}  // namespace songlift::cli
