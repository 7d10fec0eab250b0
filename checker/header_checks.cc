// VerifyHeader: the structural rules of the volume header, in a fixed order;
// the first that fails is raised. What is done about it is the header
// assessment's verdict (header_verdict.h), which the caller works out with
// the device and hands to ApplyHeaderAssessment: rebuilt fields, or a fresh
// volume when nothing can be rebuilt.

#include "base/byte_order.h"
#include "checker/check_engine.h"

namespace jukepak::checker {
namespace {

Problem ProblemOf(HeaderRule rule) {
  switch (rule) {
    case HeaderRule::kSound:
    case HeaderRule::kSignature:
      break;
    case HeaderRule::kAudioStartsTooEarly:
      return Problem::kAudioStartsTooEarly;
    case HeaderRule::kFatStartsTooEarly:
      return Problem::kFatStartsTooEarly;
    case HeaderRule::kAudioOverlapsFat:
      return Problem::kAudioOverlapsFat;
    case HeaderRule::kCdRunOverlapsAudio:
      return Problem::kCdRunOverlapsAudio;
    case HeaderRule::kCdRunNotAtEnd:
      return Problem::kCdRunNotAtEnd;
    case HeaderRule::kAudioAreaMisSized:
      return Problem::kAudioAreaMisSized;
    case HeaderRule::kFatTooSmall:
      return Problem::kFatTooSmall;
    case HeaderRule::kFatTooBig:
      return Problem::kFatTooBig;
  }
  return Problem::kHeaderSignature;
}

}  // namespace

HeaderRule CheckEngine::VerifyHeader() {
  if (header_ == nullptr) return HeaderRule::kSignature;
  const HeaderRule rule = FirstBrokenRule(header_, sectors_);
  if (rule != HeaderRule::kSound) FixProblem(ProblemOf(rule));
  return rule;
}

bool CheckEngine::ApplyHeaderAssessment(const HeaderAssessment& assessment) {
  if (header_ == nullptr || assessment.verdict != HeaderVerdict::kRebuilt) return false;
  bool all = true;
  for (const RebuiltField& field : assessment.rebuilt) {
    ProblemDetails d;
    bool fix = false;
    const bool cd_run = field.offset == format::kCdStartOffset ||
                        field.offset == format::kCdCountOffset;
    if (cd_run && assessment.cdRunShortened) {
      // One finding for the pair: the run the header lists and the one found.
      if (field.offset != format::kCdCountOffset) continue;
      d.first = field.was;
      d.second = HeaderField(format::kCdStartOffset);
      d.third = field.now;
      fix = FixProblem(Problem::kCdRunRebuilt, d);
      if (fix) {
        SetHeaderField(format::kCdStartOffset,
                       LoadLe32(assessment.header.data() + format::kCdStartOffset));
      }
    } else if (field.offset == format::kCdStartOffset &&
               LoadLe32(assessment.header.data() + format::kCdCountOffset) == 0 &&
               HeaderField(format::kCdCountOffset) == 0) {
      d.first = field.was;
      fix = FixProblem(Problem::kCdStartWithoutCds, d);
    } else {
      d.note = field.name;
      d.first = field.was;
      d.second = field.now;
      fix = FixProblem(Problem::kHeaderFieldRebuilt, d);
    }
    if (!fix) {
      all = false;
      continue;
    }
    SetHeaderField(field.offset, field.now);
    header_dirty_ = true;
  }
  if (!all) {
    // A header half rebuilt is neither what was read nor what agrees with
    // the volume: keep the one that was read.
    for (const RebuiltField& field : assessment.rebuilt) SetHeaderField(field.offset, field.was);
    header_dirty_ = false;
  }
  return all;
}

}  // namespace jukepak::checker
