// DriverModule: a driver module loaded by path with dlopen and its nine entry
// points bound by name, in the fixed order Open, QueryNumSectors, WriteSectors,
// ReadSectors, DebugMsg, ReadIR, Close, QueryValidity, GetDisplayName.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "driver/jukepak_driver.h"

namespace jukepak {

// The nine names, in binding order.
inline constexpr const char* kDriverEntryNames[9] = {
    "Open", "QueryNumSectors", "WriteSectors", "ReadSectors",   "DebugMsg",
    "ReadIR", "Close",         "QueryValidity", "GetDisplayName"};

struct DriverEntryPoints {
  JukepakOpenFn Open = nullptr;
  JukepakQueryNumSectorsFn QueryNumSectors = nullptr;
  JukepakWriteSectorsFn WriteSectors = nullptr;
  JukepakReadSectorsFn ReadSectors = nullptr;
  JukepakDebugMsgFn DebugMsg = nullptr;
  JukepakReadIRFn ReadIR = nullptr;
  JukepakCloseFn Close = nullptr;
  JukepakQueryValidityFn QueryValidity = nullptr;
  JukepakGetDisplayNameFn GetDisplayName = nullptr;
};

class DriverModule {
 public:
  // Loads the module at `path` and binds every name that it exports. Fails
  // with kNotFound when the file cannot be loaded (the message carries
  // dlerror's text); a module that loads always succeeds here, whatever names
  // it lacks: callers decide which names they need (see FirstMissing...).
  static Result Load(const std::string& path, std::unique_ptr<DriverModule>* module);

  ~DriverModule();  // unloads the library
  DriverModule(const DriverModule&) = delete;
  DriverModule& operator=(const DriverModule&) = delete;

  const std::string& path() const { return path_; }
  const DriverEntryPoints& entries() const { return entries_; }
  // The optional QueryValidityReason entry, nullptr when the module lacks it.
  JukepakQueryValidityReasonFn validityReason() const { return validity_reason_; }

  // The first of the nine names, in binding order, that the module lacks;
  // empty when it has them all. Volmend refuses a module that lacks any.
  std::string FirstMissingEntry() const;

  // The first missing name among the six that moving sectors needs (Open,
  // QueryNumSectors, ReadSectors, WriteSectors, ReadIR, Close); empty when
  // none is missing. Songlift refuses such a module before calling it.
  std::string FirstMissingDeviceEntry() const;

 private:
  DriverModule(std::string path, void* handle);

  std::string path_;
  void* handle_ = nullptr;
  DriverEntryPoints entries_;
  JukepakQueryValidityReasonFn validity_reason_ = nullptr;
};

}  // namespace jukepak
