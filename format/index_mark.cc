#include "format/index_mark.h"

#include "base/byte_order.h"
#include "format/format_constants.h"

namespace jukepak {

IndexMark IndexMarkAt(uint32_t cluster, double t) {
  IndexMark mark;
  mark.cluster = cluster & 0xFFFFFF;
  if (t < 0) t = 0;
  const uint32_t whole = uint32_t(t);
  mark.minutes = whole / 60;
  const double rest = t - double(mark.minutes) * 60.0;
  mark.seconds = uint32_t(rest);
  mark.tenths = uint32_t((rest - double(mark.seconds)) * 9.5);
  if (mark.tenths > 9) mark.tenths = 9;
  return mark;
}

void EncodeIndexMark(const IndexMark& mark, uint8_t* out) {
  StoreLe24(out, mark.cluster);
  out[3] = uint8_t(((mark.seconds % 16) << 4) | (mark.tenths & 0x0F));
  out[4] = uint8_t((mark.minutes % 64) | (((mark.seconds / 16) & 0x03) << 6));
}

IndexMark DecodeIndexMark(const uint8_t* in) {
  IndexMark mark;
  mark.cluster = LoadLe24(in);
  mark.tenths = in[3] & 0x0F;
  mark.seconds = (in[3] >> 4) | ((in[4] >> 6) << 4);
  mark.minutes = in[4] & 0x3F;
  return mark;
}

void EncodeIndexTerminator(uint8_t* out) { StoreLe24(out, format::kIndexTerminatorCluster); }

}  // namespace jukepak
