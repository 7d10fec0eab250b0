// The audio files of a folder, as a drop or a sync of the folder takes them:
// files whose extension names an audio format (MP3, FLAC, Ogg, Opus, M4A,
// WAV, AIFF, WMA and the other formats the decoder knows), optionally in
// every sub-folder.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace jukepak {

// The extensions (lower case) of the audio formats folders give.
inline constexpr const char* kAudioExtensions[] = {
    "mp3", "mp2", "mpa", "flac", "ogg", "oga", "opus", "spx", "m4a", "m4b", "aac", "wav", "wave",
    "aif", "aiff", "aifc", "wma", "wv", "ape", "mpc", "caf", "ac3", "tta", "au", "mka"};

// True when the file name's extension is one of the audio formats (any case).
bool IsAudioFileName(const std::string& name);

struct FolderSong {
  std::string path;
  std::string folderName;  // the name of the folder the file lies in (UTF-8)
};

struct FolderProblem {
  std::string path;
  Result result;
};

// Lists the audio files of `folder`: each folder's files sorted by name,
// then, when `recursive`, its sub-folders in name order. Names starting with
// "." are passed over. A folder reached twice (a link back up the tree) is
// entered only once. A folder that cannot be read is a problem ("Could not
// open folder!"); the listing goes on without it.
void ListAudioFiles(const std::string& folder, bool recursive, std::vector<FolderSong>* songs,
                    std::vector<FolderProblem>* problems);

// The name of a folder path: its last component, trailing slashes ignored.
std::string FolderName(std::string folder);

}  // namespace jukepak
