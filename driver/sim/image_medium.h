// ImageMedium: the simulated disk's sectors in a disk image file, which it
// owns (and with it the file's exclusive lock).
#pragma once

#include <memory>

#include "driver/image_file.h"
#include "driver/sim/disk_medium.h"

namespace jukepak::sim {

class ImageMedium final : public DiskMedium {
 public:
  explicit ImageMedium(std::unique_ptr<ImageFile> image) : image_(std::move(image)) {}

  uint32_t sectorCount() const override { return image_->sectorCount(); }
  bool ReadSector(uint32_t sector, uint8_t* out) override { return image_->Read(sector, 1, out); }
  bool WriteSector(uint32_t sector, const uint8_t* in) override {
    return image_->Write(sector, 1, in).ok();
  }

  ImageFile& image() { return *image_; }

 private:
  std::unique_ptr<ImageFile> image_;
};

}  // namespace jukepak::sim
