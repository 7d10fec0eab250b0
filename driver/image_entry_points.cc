#include "driver/image_entry_points.h"

#include <cstdio>

namespace jukepak::image_entry_points {

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
  return image->Write(sector, count, buffer) ? 0 : 1;
}

int32_t DebugMsg(const char* text) { return std::printf("[%s]\n", text != nullptr ? text : ""); }

int32_t ReadIR(ImageFile* image, int32_t* code) {
  if (code == nullptr) return 1;
  *code = image != nullptr ? int32_t(image->TakeRemoteCode()) : 0;
  return 0;
}

}  // namespace jukepak::image_entry_points
