#include "driver/driver_module.h"

#include <dlfcn.h>

namespace jukepak {
namespace {

template <typename Fn>
void Bind(void* handle, const char* name, Fn* slot) {
  *slot = reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

DriverModule::DriverModule(std::string path, void* handle)
    : path_(std::move(path)), handle_(handle) {}

DriverModule::~DriverModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

Result DriverModule::Load(const std::string& path, std::unique_ptr<DriverModule>* module) {
  module->reset();
  if (path.empty()) {
    return Result::Error(ResultCode::kNotFound, "no driver module has been chosen");
  }
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    return Result::Error(ResultCode::kNotFound, "cannot load driver module " + path + ": " +
                                                    (why != nullptr ? why : "unknown error"));
  }
  std::unique_ptr<DriverModule> loaded(new DriverModule(path, handle));
  DriverEntryPoints& e = loaded->entries_;
  Bind(handle, kDriverEntryNames[0], &e.Open);
  Bind(handle, kDriverEntryNames[1], &e.QueryNumSectors);
  Bind(handle, kDriverEntryNames[2], &e.WriteSectors);
  Bind(handle, kDriverEntryNames[3], &e.ReadSectors);
  Bind(handle, kDriverEntryNames[4], &e.DebugMsg);
  Bind(handle, kDriverEntryNames[5], &e.ReadIR);
  Bind(handle, kDriverEntryNames[6], &e.Close);
  Bind(handle, kDriverEntryNames[7], &e.QueryValidity);
  Bind(handle, kDriverEntryNames[8], &e.GetDisplayName);
  Bind(handle, "QueryValidityReason", &loaded->validity_reason_);
  *module = std::move(loaded);
  return Result::Ok();
}

std::string DriverModule::FirstMissingEntry() const {
  const void* bound[9] = {
      reinterpret_cast<const void*>(entries_.Open),
      reinterpret_cast<const void*>(entries_.QueryNumSectors),
      reinterpret_cast<const void*>(entries_.WriteSectors),
      reinterpret_cast<const void*>(entries_.ReadSectors),
      reinterpret_cast<const void*>(entries_.DebugMsg),
      reinterpret_cast<const void*>(entries_.ReadIR),
      reinterpret_cast<const void*>(entries_.Close),
      reinterpret_cast<const void*>(entries_.QueryValidity),
      reinterpret_cast<const void*>(entries_.GetDisplayName)};
  for (int i = 0; i < 9; ++i) {
    if (bound[i] == nullptr) return kDriverEntryNames[i];
  }
  return {};
}

std::string DriverModule::FirstMissingDeviceEntry() const {
  if (entries_.Open == nullptr) return "Open";
  if (entries_.QueryNumSectors == nullptr) return "QueryNumSectors";
  if (entries_.WriteSectors == nullptr) return "WriteSectors";
  if (entries_.ReadSectors == nullptr) return "ReadSectors";
  if (entries_.ReadIR == nullptr) return "ReadIR";
  if (entries_.Close == nullptr) return "Close";
  return {};
}

}  // namespace jukepak
