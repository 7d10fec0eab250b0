// What the commands that edit or read the player's directory share: CD and
// track numbers from 1 as ls prints them, and the report of a failed edit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "cli/cli_context.h"
#include "volume/volume_model.h"

namespace songlift::cli {

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
