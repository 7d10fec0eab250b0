#include "volume/ffmpeg_transcoder.h"
#include "volume/sync_options.h"
#include "volume/taglib_tags.h"

namespace jukepak {

MediaLibraries DefaultMediaLibraries() {
  return MediaLibraries{&TagLibReader(), &FfmpegTranscoder(), &TagLibWriter()};
}

}  // namespace jukepak
