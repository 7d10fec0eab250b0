#include "driver/image_entry_points.h"

#include <cstdio>
#include <string>

#include "base/debug_channel.h"

namespace jukepak::image_entry_points {
namespace {

// A refused write goes to standard error, so the user learns why whichever
// program made it; the same refusal again (a repair goes on writing) is not
// repeated there. Every failure goes to the debug channel.
void ReportWriteFailure(const Result& why) {
  static std::string last_told;
  DebugPrint("%s\n", why.message().c_str());
  const bool refused = why.code() == ResultCode::kRefused || why.code() == ResultCode::kReadOnly;
  if (!refused || why.message() == last_told || DebugChannelEnabled()) return;
  last_told = why.message();
  std::fprintf(stderr, "%s\n", why.message().c_str());
}

}  // namespace

int32_t QueryNumSectors(const ImageFile* image, uint32_t* out) {
  if (image == nullptr || out == nullptr) return 1;
  *out = image->sectorCount();
  return 0;
}

int32_t ReadSectors(const ImageFile* image, uint32_t sector, uint32_t count, void* buffer) {
  if (count == 0) return 0;
  if (image == nullptr || buffer == nullptr) return 1;
  return image->Read(sector, count, buffer) ? 0 : 1;
}

int32_t WriteSectors(ImageFile* image, uint32_t sector, uint32_t count, const void* buffer) {
  if (count == 0) return 0;
  if (image == nullptr || buffer == nullptr) return 1;
  const Result written = image->Write(sector, count, buffer);
  if (written.ok()) return 0;
  ReportWriteFailure(written);
  return 1;
}

int32_t DebugMsg(const char* text) { return std::printf("[%s]\n", text != nullptr ? text : ""); }

int32_t ReadIR(ImageFile* image, int32_t* code) {
  if (code == nullptr) return 1;
  *code = image != nullptr ? int32_t(image->TakeRemoteCode()) : 0;
  return 0;
}

}  // namespace jukepak::image_entry_points
