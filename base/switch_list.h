// Switch lists: how the fault variables of the test modules are spelled, a
// comma-separated list of items "name" or "name=value", for example
// "power-cut-after-sectors=40,write-log=/tmp/w.log". Spaces around an item are
// ignored and empty items skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/result.h"

namespace jukepak {

struct Switch {
  std::string_view item;  // the whole item, for messages
  std::string_view name;
  std::string_view value;  // empty when there is no '='
  bool has_value = false;
};

// Calls `apply` for each item of `text` (null or empty: no items) in order
// and returns the first failure it gives, or Ok.
Result ForEachSwitch(const char* text, const std::function<Result(const Switch&)>& apply);

// A decimal or 0x-hex number from 0 to 2^32 - 1, nothing else (no sign, no
// spaces, no trailing text). False leaves *value untouched.
bool ParseSwitchNumber(std::string_view text, uint32_t* value);

}  // namespace jukepak
