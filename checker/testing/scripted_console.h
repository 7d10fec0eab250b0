// ScriptedConsole: a check console for tests. It records every line, title
// and notice, answers the repair and reinitialize questions as scripted, and
// can ask for a stop at the n-th stop check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "checker/check_console.h"

namespace jukepak::checker::testing {

class ScriptedConsole : public CheckConsole {
 public:
  RepairDecision decision = RepairDecision::kRepair;
  bool confirmReinitialize = true;
  // The stop check answers true from this call on (counted from 1); 0 never.
  uint64_t stopAtCheck = 0;

  std::vector<std::string> lines;
  std::vector<Problem> codes;  // the problems raised, in order
  std::vector<std::string> titles;
  std::vector<Notice> notices;
  uint64_t stopChecks = 0;
  int offers = 0;
  int repairQuestions = 0;
  bool askedForReinitialize = false;  // what AwaitRepair was told
  int reinitializeQuestions = 0;

  void ListLine(const std::string& line) override { lines.push_back(line); }
  void Found(const Finding& finding) override {
    codes.push_back(finding.problem);
    CheckConsole::Found(finding);
  }
  void TitleLine(const std::string& line) override { titles.push_back(line); }
  bool StopRequested() override {
    ++stopChecks;
    return stopAtCheck != 0 && stopChecks >= stopAtCheck;
  }
  void OfferRepair(bool) override { ++offers; }
  RepairDecision AwaitRepair(bool reinitialize) override {
    ++repairQuestions;
    askedForReinitialize = reinitialize;
    return decision;
  }
  bool ConfirmReinitialize() override {
    ++reinitializeQuestions;
    return confirmReinitialize;
  }
  void ShowNotice(Notice notice) override { notices.push_back(notice); }

  // The lines after the first one equal to `marker` (all lines when absent).
  std::vector<std::string> LinesAfter(const std::string& marker) const;
};

}  // namespace jukepak::checker::testing
