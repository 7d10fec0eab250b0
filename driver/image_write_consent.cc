#include "driver/image_write_consent.h"

#include "driver/foreign_disk_guard.h"
#include "driver/image_file.h"

namespace jukepak {

std::string ForeignDiskQuestion(const std::string& path, const std::string& refusal) {
  return refusal + ".\n\nWriting to " + path + " destroys what it holds.\nWrite to " + path +
         " anyway?";
}

bool ObtainWriteConsent(const WriteConsentPrompts& prompts) {
  bool is_default = false;
  const std::string path = ImagePathFromEnvironment(&is_default);
  const Result writable = CheckImageWritable(path);
  if (writable.code() == ResultCode::kReadOnly) {
    prompts.tell(writable.message());
    return false;
  }
  if (writable.code() != ResultCode::kRefused) return true;
  if (!prompts.ask(ForeignDiskQuestion(path, writable.message()))) return false;
  AllowForeignDisk(path);
  return true;
}

}  // namespace jukepak
