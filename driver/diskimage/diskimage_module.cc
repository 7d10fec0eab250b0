// diskimage.dld: a driver module whose disk is an image file, or the
// player's disk itself as a block device (in a USB-IDE adapter).
//
// The image is the file or device named by JUKEPAK_IMAGE, else the built-in
// player at the default path, which is created (sparse, 12,594,960 sectors)
// the first time it is opened. An image named explicitly is never created:
// opening a missing one fails, so that a typing mistake never makes a new
// player. A failed Open says why on standard error. Where writing is refused
// the image opens read-only, and a block device holding something other than
// a player volume is not written unless JUKEPAK_FORCE_DISK names it (see
// ImageFile); refused writes say why on standard error too. Remote-control
// codes come from the side file "<image>.ir".

#include <cstdio>
#include <memory>

#include "base/debug_channel.h"
#include "driver/image_entry_points.h"
#include "driver/image_file.h"
#include "driver/jukepak_driver.h"

namespace {

std::unique_ptr<jukepak::ImageFile> g_image;

jukepak::Result OpenImage() {
  std::unique_ptr<jukepak::ImageFile> image;
  const jukepak::Result result = jukepak::OpenImageFromEnvironment(&image);
  if (result.ok()) g_image = std::move(image);
  return result;
}

}  // namespace

extern "C" {

JUKEPAK_DRIVER_EXPORT int32_t Open(void) {
  g_image.reset();
  const jukepak::Result result = OpenImage();
  if (!result.ok()) {
    // On standard error always: a user must learn why without the debug channel.
    std::fprintf(stderr, "diskimage: could not open the player: %s\n", result.message().c_str());
    return 1;
  }
  jukepak::DebugPrint("diskimage: opened %s (%u sectors%s%s%s)\n", g_image->path().c_str(),
                      g_image->sectorCount(), g_image->isBlockDevice() ? ", block device" : "",
                      g_image->readOnly() ? ", read-only: " : "",
                      g_image->readOnlyReason().c_str());
  return 0;
}

JUKEPAK_DRIVER_EXPORT int32_t QueryNumSectors(uint32_t* out) {
  return jukepak::image_entry_points::QueryNumSectors(g_image.get(), out);
}

JUKEPAK_DRIVER_EXPORT int32_t WriteSectors(uint32_t sector, uint32_t count, const void* buffer) {
  return jukepak::image_entry_points::WriteSectors(g_image.get(), sector, count, buffer);
}

JUKEPAK_DRIVER_EXPORT int32_t ReadSectors(uint32_t sector, uint32_t count, void* buffer) {
  return jukepak::image_entry_points::ReadSectors(g_image.get(), sector, count, buffer);
}

JUKEPAK_DRIVER_EXPORT int32_t DebugMsg(const char* text) {
  return jukepak::image_entry_points::DebugMsg(text);
}

JUKEPAK_DRIVER_EXPORT int32_t ReadIR(int32_t* code) {
  return jukepak::image_entry_points::ReadIR(g_image.get(), code);
}

JUKEPAK_DRIVER_EXPORT int32_t Close(void) {
  g_image.reset();
  return 0;
}

JUKEPAK_DRIVER_EXPORT int32_t QueryValidity(void) { return 1; }

JUKEPAK_DRIVER_EXPORT const char* GetDisplayName(void) { return "Disk Image"; }

}  // extern "C"
