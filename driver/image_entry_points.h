// The entry-point bodies of the modules whose disk is an image file
// (diskimage.dld, faultdisk.dld), so that both answer every call alike. Each
// takes the module's open image, or null before Open and after Close, and
// returns the entry point's result code.
#pragma once

#include <cstdint>

#include "driver/image_file.h"

namespace jukepak::image_entry_points {

int32_t QueryNumSectors(const ImageFile* image, uint32_t* out);
int32_t ReadSectors(const ImageFile* image, uint32_t sector, uint32_t count, void* buffer);
// A refused write's reason is printed on standard error.
int32_t WriteSectors(ImageFile* image, uint32_t sector, uint32_t count, const void* buffer);
// The text as "[text]\n" on standard output.
int32_t DebugMsg(const char* text);
// The code latched in the image's side file, 0 without an image.
int32_t ReadIR(ImageFile* image, int32_t* code);

}  // namespace jukepak::image_entry_points
