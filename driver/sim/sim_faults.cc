#include "driver/sim/sim_faults.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/switch_list.h"

namespace jukepak::sim {
namespace {

Result Bad(std::string_view item, const char* why) {
  return Result::Error(ResultCode::kInvalidArgument,
                       std::string("simulator fault \"") + std::string(item) + "\": " + why);
}

Result ApplyItem(const Switch& item, SimFaults* f) {
  const std::string_view name = item.name;
  const bool has_value = item.has_value;
  uint32_t n = 0;
  if (has_value && !ParseSwitchNumber(item.value, &n)) return Bad(item.item, "not a number");

  struct Flag {
    const char* name;
    bool SimFaults::*member;
  };
  static constexpr Flag kFlags[] = {{"cable-pulled", &SimFaults::cable_pulled},
                                    {"echo-errors", &SimFaults::echo_errors},
                                    {"never-ready", &SimFaults::never_ready},
                                    {"epp-broken", &SimFaults::epp_broken}};
  for (const Flag& flag : kFlags) {
    if (name != flag.name) continue;
    if (has_value) return Bad(item.item, "takes no value");
    f->*flag.member = true;
    return Result::Ok();
  }

  struct Number {
    const char* name;
    uint32_t SimFaults::*member;
  };
  static constexpr Number kNumbers[] = {
      {"cable-pulled-after-ops", &SimFaults::cable_pulled_after_ops},
      {"ready-after-ms", &SimFaults::ready_after_ms},
      {"epp-timeout-at", &SimFaults::epp_timeout_at},
      {"epp-late-ack-at", &SimFaults::epp_late_ack_at},
      {"epp-lost-byte-at", &SimFaults::epp_lost_byte_at},
      {"register-error-at", &SimFaults::register_error_at},
      {"busy-reads", &SimFaults::busy_reads}};
  const bool takes_number = name == "bad-sram" || name == "disk-error-at" ||
                            std::any_of(std::begin(kNumbers), std::end(kNumbers),
                                        [&](const Number& k) { return name == k.name; });
  if (!takes_number) return Bad(item.item, "unknown switch");
  if (!has_value) return Bad(item.item, "needs a value");
  if (name == "bad-sram") {
    if (n > 0x7FFF) return Bad(item.item, "the SRAM has addresses 0 to 0x7FFF");
    f->bad_sram_address = uint16_t(n);
    return Result::Ok();
  }
  if (name == "disk-error-at") {
    f->disk_error_sector = n;
    return Result::Ok();
  }
  for (const Number& k : kNumbers) {
    if (name == k.name) f->*k.member = n;
  }
  return Result::Ok();
}

}  // namespace

Result ParseSimFaults(const char* text, SimFaults* faults) {
  SimFaults parsed;
  const Result applied =
      ForEachSwitch(text, [&parsed](const Switch& item) { return ApplyItem(item, &parsed); });
  if (!applied.ok()) return applied;
  *faults = parsed;
  return Result::Ok();
}

}  // namespace jukepak::sim
