#include "driver/disk_probe.h"

namespace jukepak {
namespace {

// "an" before a name read out with a vowel sound at its start: ext4, exfat,
// iso9660, xfs (said "ex-eff-ess").
std::string WithArticle(const std::string& name) {
  const bool an =
      !name.empty() && std::string("aeioux").find(char(name[0] | 0x20)) != std::string::npos;
  return (an ? "an " : "a ") + name;
}

}  // namespace

std::string DiskSignature::Describe() const {
  switch (kind) {
    case Kind::kNothing:
      return {};
    case Kind::kPartitionTable:
      return WithArticle(type) + " partition table";
    case Kind::kFileSystem:
      return WithArticle(type) + " file system";
    case Kind::kOther:
      return WithArticle(type) + " signature";
    case Kind::kAmbiguous:
      return "several conflicting signatures";
  }
  return {};
}

}  // namespace jukepak
