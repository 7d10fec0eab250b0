#include "cli/edit_args.h"

namespace songlift::cli {

bool ParseCdAndTrack(const std::vector<std::string>& words, uint32_t* cd, uint32_t* track) {
  *track = 0;
  return !words.empty() && ParseItemNumber(words[0], cd) &&
         (words.size() < 2 || ParseItemNumber(words[1], track));
}

bool ParseItemNumber(const std::string& word, uint32_t* number) {
  uint64_t value = 0;
  if (!ParseNumber(word, 1, 0xFFFFFFFFu, &value)) return false;
  *number = uint32_t(value);
  return true;
}

int SelectCd(CliContext& context, uint32_t number, jukepak::CdNode** cd) {
  const auto& cds = context.volume().model().playerCds;
  if (number == 0 || number > cds.size()) {
    return context.Fail("there is no CD " + std::to_string(number) + "; the player holds " +
                        std::to_string(cds.size()) + (cds.size() == 1 ? " CD" : " CDs"));
  }
  *cd = cds[number - 1].get();
  return kExitOk;
}

int SelectTrack(CliContext& context, const jukepak::CdNode& cd, uint32_t cd_number, uint32_t number,
                uint32_t* slot) {
  const size_t count = cd.tracks.size();
  if (number == 0 || number > count) {
    return context.Fail("CD " + std::to_string(cd_number) + " has no track " +
                        std::to_string(number) + "; it holds " +
                        (count == 0 ? std::string("none")
                                    : std::to_string(count) + (count == 1 ? " track" : " tracks")));
  }
  *slot = number - 1;
  return kExitOk;
}

int FailEdit(CliContext& context, const jukepak::Result& result) {
  const std::string status = context.lastStatus();
  if (context.volume().deviceState() == jukepak::DeviceState::kNoDriver && !status.empty()) {
    return context.Fail(status);
  }
  return context.Fail(result.message());
}

}  // namespace songlift::cli
