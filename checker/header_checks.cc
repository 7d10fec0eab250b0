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
  const auto rebuilt_value = [&](uint32_t offset) {
    return LoadLe32(assessment.header.data() + offset);
  };
  bool all = true;
  bool cd_run = false;
  for (const RebuiltField& field : assessment.rebuilt) {
    if (field.offset == format::kCdStartOffset || field.offset == format::kCdCountOffset) {
      cd_run = true;
      continue;
    }
    ProblemDetails d;
    d.note = field.name;
    d.first = field.was;
    d.second = field.now;
    all = FixProblem(Problem::kHeaderFieldRebuilt, d) && all;
  }
  if (cd_run) {
    // One finding for the pair: the run the header lists and the one found.
    ProblemDetails d;
    d.first = HeaderField(format::kCdCountOffset);
    d.second = HeaderField(format::kCdStartOffset);
    d.third = rebuilt_value(format::kCdCountOffset);
    const bool no_cds = d.first == 0 && d.third == 0;
    all = FixProblem(no_cds ? Problem::kCdStartWithoutCds : Problem::kCdRunRebuilt, d) && all;
  }
  // A header half rebuilt is neither what was read nor what agrees with the
  // volume: it is rebuilt whole or not at all.
  if (!all) return false;
  for (const RebuiltField& field : assessment.rebuilt) SetHeaderField(field.offset, field.now);
  header_dirty_ = true;
  return true;
}

}  // namespace jukepak::checker
