#include "driver/sim/sim_faults.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

namespace jukepak::sim {
namespace {

bool ParseNumber(std::string_view text, uint32_t* value) {
  if (text.empty()) return false;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(copy.c_str(), &end, 0);
  if (errno != 0 || end != copy.c_str() + copy.size() || parsed > 0xFFFFFFFFull) return false;
  if (copy[0] == '-' || copy[0] == '+') return false;
  *value = uint32_t(parsed);
  return true;
}

Result Bad(std::string_view item, const char* why) {
  return Result::Error(ResultCode::kInvalidArgument,
                       std::string("simulator fault \"") + std::string(item) + "\": " + why);
}

Result ApplyItem(std::string_view item, SimFaults* f) {
  const size_t eq = item.find('=');
  const std::string_view name = item.substr(0, eq);
  const bool has_value = eq != std::string_view::npos;
  uint32_t n = 0;
  if (has_value && !ParseNumber(item.substr(eq + 1), &n)) return Bad(item, "not a number");

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
    if (has_value) return Bad(item, "takes no value");
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
      {"register-error-at", &SimFaults::register_error_at},
      {"busy-reads", &SimFaults::busy_reads}};
  const bool takes_number = name == "bad-sram" || name == "disk-error-at" ||
                            std::any_of(std::begin(kNumbers), std::end(kNumbers),
                                        [&](const Number& k) { return name == k.name; });
  if (!takes_number) return Bad(item, "unknown switch");
  if (!has_value) return Bad(item, "needs a value");
  if (name == "bad-sram") {
    if (n > 0x7FFF) return Bad(item, "the SRAM has addresses 0 to 0x7FFF");
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
  std::string_view rest = text != nullptr ? text : "";
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item.empty()) continue;
    const Result applied = ApplyItem(item, &parsed);
    if (!applied.ok()) return applied;
  }
  *faults = parsed;
  return Result::Ok();
}

}  // namespace jukepak::sim
