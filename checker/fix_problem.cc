// FixProblem: the one place where a finding is reported and where the mode
// of the run decides whether it is mended.

#include "checker/check_engine.h"

namespace jukepak::checker {

bool CheckEngine::FixProblem(Problem problem, const ProblemDetails& details) {
  const ProblemInfo& info = DescribeProblem(problem);
  const Finding finding{problem, ProblemText(problem, details)};
  if (sink_ != nullptr) sink_->Found(finding);
  if (info.severity == Severity::kDamage) found_ = true;
  if (info.remedy == Remedy::kNone) return false;
  switch (mode()) {
    case CheckMode::kDryRun:
    case CheckMode::kRepair:
      return true;
    case CheckMode::kAsk:
      break;
  }
  const bool fix = choice_->ShouldFix(finding, info.remedy);
  if (!fix) declined_ = true;
  return fix;
}

}  // namespace jukepak::checker
