// What the commands that edit or read the player's directory share: named
// options with values, CD and track numbers from 1 as ls prints them, and
// the report of a failed edit.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "base/result.h"
#include "cli/cli_context.h"
#include "volume/volume_model.h"

namespace songlift::cli {

struct EditArgs {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--to" -> "2"

  bool has(const std::string& name) const { return options.count(name) != 0; }
};

// Splits `args` into positional words and the named options in `names`,
// each followed by its value. False with *error set for an option that is
// not in `names`, one that lacks its value or one given twice.
bool ParseEditArgs(const std::vector<std::string>& args, std::initializer_list<const char*> names,
                   EditArgs* out, std::string* error);

// A CD or track number as typed: a whole number from 1. False when it is not.
bool ParseItemNumber(const std::string& word, uint32_t* number);

// "CD [TRACK]" as typed (one or two words): the CD number and, with two
// words, the track number (0 without). False when a word is not a number from 1.
bool ParseCdAndTrack(const std::vector<std::string>& words, uint32_t* cd, uint32_t* track);

// CD `number` (from 1) of the mounted directory. kExitOk, or kExitFailed
// with a message naming the number and how many CDs there are.
int SelectCd(CliContext& context, uint32_t number, jukepak::CdNode** cd);
// Track `number` (from 1) of `cd`, CD `cd_number`, as a slot from 0.
int SelectTrack(CliContext& context, const jukepak::CdNode& cd, uint32_t cd_number, uint32_t number,
                uint32_t* slot);

// Prints why an edit failed: the status line the engine showed for a driver
// failure, otherwise the result's message. Returns kExitFailed.
int FailEdit(CliContext& context, const jukepak::Result& result);

}  // namespace songlift::cli
