// The step a front end takes before it writes to the player through an image
// module: asks whether the image the modules open may be written and, where
// the disk holds something else, asks the user a second, explicit question.
#pragma once

#include <functional>
#include <string>

namespace jukepak {

struct WriteConsentPrompts {
  // Asks `question`; true only for an explicit yes (the default is no).
  std::function<bool(const std::string& question)> ask;
  // Says why nothing is written.
  std::function<void(const std::string& why)> tell;
};

// Checks the image the modules open (JUKEPAK_IMAGE, else the default image)
// as a write would (CheckImageWritable). A read-only image is told about and
// refused. A disk that holds something else is asked about with
// ForeignDiskQuestion; a yes lets the modules of this process write to it
// (AllowForeignDisk). An image that cannot be opened at all passes: the
// module that uses it, if any, reports that itself. True when the write may
// go ahead.
bool ObtainWriteConsent(const WriteConsentPrompts& prompts);

// "<refusal>.\n\nWriting to <path> destroys what it holds.\nWrite to <path> anyway?"
std::string ForeignDiskQuestion(const std::string& path, const std::string& refusal);

}  // namespace jukepak
