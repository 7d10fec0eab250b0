// The driver modules a user can choose from: every ".dld" file in the driver
// search folders (the working directory first) that loads, answers
// QueryValidity with nonzero and names itself with GetDisplayName; and, for
// the chooser, those that answer 0 with the reason.
//
// Loading a module runs its code, so a module file that anyone but its owner
// (or root) may write, or that lies in a folder anyone but its owner may
// write, is passed over without being loaded.
#pragma once

#include <string>
#include <vector>

namespace jukepak {

struct DriverCandidate {
  std::string displayName;
  std::string path;  // absolute
  // Why the module cannot run here (its QueryValidity said 0); empty when it can.
  std::string unusableReason;
  bool usable() const { return unusableReason.empty(); }
};

// The reason given for a module whose QueryValidity says 0 and that does
// not say why itself.
inline constexpr char kNoValidityReason[] = "the module finds no player connection here";

// Candidates of `folders`, in folder order and, within a folder, in the
// order the file system lists them. The modules are released again.
std::vector<DriverCandidate> FindUsableDrivers(const std::vector<std::string>& folders);

// FindUsableDrivers over DriverSearchFolders().
std::vector<DriverCandidate> FindUsableDrivers();

// As FindUsableDrivers, and also the modules whose QueryValidity says 0,
// each with the reason (the module's QueryValidityReason, else
// kNoValidityReason), so that a chooser can show why it is not offered.
std::vector<DriverCandidate> FindDriverModules(const std::vector<std::string>& folders);
std::vector<DriverCandidate> FindDriverModules();

// True when the file and its folder may be written only by their owners,
// and those are the current user or root. *why says what is wrong otherwise.
bool IsSafeToLoad(const std::string& path, std::string* why);

}  // namespace jukepak
