// The event rules. NUT's readings are mapped onto event codes by one table:
// each rule names a condition on a reading, the code raised when it starts to
// hold and, for the mains, the code raised when it ends. Communication and
// the shutdown policy depend on time and on the polls in between, so they
// follow the table as two small steps of their own.
#include "wksrv/detect.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

namespace {

// A value of the reading; empty when NUT does not give it.
std::string Var(const TUpsReading& reading, const char* name) {
  auto it = reading.vars.find(name);
  return it == reading.vars.end() ? std::string() : it->second;
}

// A whole number or decimal of the reading; false when missing or no number.
bool Number(const TUpsReading& reading, const char* name, double* value) {
  auto it = reading.vars.find(name);
  if (it == reading.vars.end() || it->second.empty()) return false;
  char* end = nullptr;
  *value = strtod(it->second.c_str(), &end);
  return end != nullptr && *end == '\0';
}

bool HasFlag(const TUpsReading& reading, const char* flag) {
  return StatusHasFlag(Var(reading, "ups.status"), flag);
}

bool Names(const std::string& text, const char* word) {
  return strcasestr(text.c_str(), word) != nullptr;
}

using TPhaseNames = const char* const[3];
const TPhaseNames kPhaseVoltages = {"input.L1-N.voltage", "input.L2-N.voltage",
                                    "input.L3-N.voltage"};
const TPhaseNames kLineVoltages = {"input.L1-L2.voltage", "input.L2-L3.voltage",
                                   "input.L3-L1.voltage"};
const TPhaseNames kPhaseLoads = {"output.L1.power.percent", "output.L2.power.percent",
                                 "output.L3.power.percent"};

// The three values named; false unless all are numbers.
bool ThreePhases(const TUpsReading& reading, const TPhaseNames& names, double values[3]) {
  for (int phase = 0; phase < 3; ++phase) {
    if (!Number(reading, names[phase], &values[phase])) return false;
  }
  return true;
}

bool OnBattery(const TUpsReading& r, bool held) {
  // Held until the UPS says it is on line again, so that 1 follows 0 only then.
  return held ? !HasFlag(r, "OL") : HasFlag(r, "OB");
}
bool Low(const TUpsReading& r, bool) {
  return HasFlag(r, "LB");
}
bool Overload(const TUpsReading& r, bool) {
  return HasFlag(r, "OVER");
}
bool Replace(const TUpsReading& r, bool) {
  return HasFlag(r, "RB");
}
bool Bypass(const TUpsReading& r, bool) {
  return HasFlag(r, "BYPASS");
}

bool Hot(const TUpsReading& r, bool) {
  for (const char* name : {"ups.alarm", "ups.status"}) {
    const std::string text = Var(r, name);
    if (Names(text, "temp") || Names(text, "heat")) return true;
  }
  double temperature, high;
  return Number(r, "ups.temperature", &temperature) && Number(r, "ups.temperature.high", &high) &&
         temperature > high;
}

bool PhaseFailure(const TUpsReading& r, bool) {
  double v[3];
  if (!ThreePhases(r, kPhaseVoltages, v) && !ThreePhases(r, kLineVoltages, v)) {
    return false;
  }
  const double highest = *std::max_element(v, v + 3);
  return highest > 0 && *std::min_element(v, v + 3) < highest / 2;
}

bool Unbalanced(const TUpsReading& r, bool) {
  double load[3];
  if (!ThreePhases(r, kPhaseLoads, load)) return false;
  return *std::max_element(load, load + 3) - *std::min_element(load, load + 3) > 30;
}

struct TRule {
  int raise;                                     // the code when the condition starts
  int end;                                       // the code when it ends; -1 none
  bool (*Holds)(const TUpsReading&, bool held);  // `held`: it held before
};

const TRule kRules[] = {
    {kMainsFailure, kMainsRestored, OnBattery},
    {kBatteryLow, -1, Low},
    {kOverload, -1, Overload},
    {kBatteryReplace, -1, Replace},
    {kTemperature, -1, Hot},
    {kBypass, -1, Bypass},
    {kPhaseFailure, -1, PhaseFailure},
    {kUnbalancedLoad, -1, Unbalanced},
};
constexpr uint32_t kOnBatteryBit = 1u << 0;
constexpr uint32_t kBatteryLowBit = 1u << 1;

void ApplyRules(const TUpsReading& reading, int64_t now_ms, TDetection* d) {
  TDetectState& s = d->state;
  const bool was_on_battery = (s.holding & kOnBatteryBit) != 0;
  for (size_t n = 0; n < sizeof kRules / sizeof kRules[0]; ++n) {
    const TRule& rule = kRules[n];
    const uint32_t bit = 1u << n;
    const bool held = (s.holding & bit) != 0;
    const bool holds = rule.Holds(reading, held);
    if (holds && !held) {
      d->codes.push_back(static_cast<uint8_t>(rule.raise));
    } else if (!holds && held && rule.end >= 0) {
      d->codes.push_back(static_cast<uint8_t>(rule.end));
    }
    s.holding = holds ? s.holding | bit : s.holding & ~bit;
  }
  const bool on_battery = (s.holding & kOnBatteryBit) != 0;
  if (on_battery && !was_on_battery) s.battery_since = now_ms;
  if (!on_battery) {
    s.warned = false;
    s.down_raised = false;
    s.runtime = -1;
  } else {
    double runtime;
    if (Number(reading, "battery.runtime", &runtime)) s.runtime = static_cast<int32_t>(runtime);
  }
}

void ApplyPolicy(const TShutdownPolicy& policy, int64_t now_ms, TDetection* d) {
  TDetectState& s = d->state;
  if (!policy.enabled || (s.holding & kOnBatteryBit) == 0) return;
  bool warn, down;
  if (policy.smart && s.runtime >= 0) {
    warn = s.runtime <= static_cast<int64_t>(policy.down_time) + policy.warning_time;
    down = s.runtime <= policy.down_time;
  } else {
    const int64_t elapsed_ms = now_ms - s.battery_since;
    warn = elapsed_ms >= (static_cast<int64_t>(policy.fixed_time) - policy.warning_time) * 1000;
    down = elapsed_ms >= static_cast<int64_t>(policy.fixed_time) * 1000;
  }
  if ((warn || down) && !s.warned) {
    s.warned = true;
    d->codes.push_back(kShutdownWarning);
  }
  if (down && !s.down_raised) {
    s.down_raised = true;
    d->codes.push_back(kEndOfAutonomy);
  }
}

}  // namespace

bool StatusHasFlag(const std::string& status, const char* flag) {
  size_t start = 0;
  while (start < status.size()) {
    size_t end = status.find(' ', start);
    if (end == std::string::npos) end = status.size();
    if (status.compare(start, end - start, flag) == 0) return true;
    start = end + 1;
  }
  return false;
}

TShutdownPolicy ShutdownPolicyOf(const TSetupData& setup) {
  TShutdownPolicy policy;
  policy.enabled = setup.Server.SrvDownEnabled;
  policy.smart = setup.Ups.UpsSmartAutonomy;
  policy.fixed_time = setup.Server.UpsFixedTime;
  policy.down_time = setup.Server.SrvDownTime;
  policy.warning_time = setup.Server.SrvDownWarningTime;
  return policy;
}

TDetection Detect(const TDetectState& before, const TUpsReading& reading, int64_t now_ms,
                  const TShutdownPolicy& policy) {
  TDetection d{before, {}};
  TDetectState& s = d.state;
  if (reading.reachable) {
    if (s.comm_lost) d.codes.push_back(kCommRestored);
    s.comm_lost = false;
    s.unreachable_polls = 0;
    ApplyRules(reading, now_ms, &d);
    ApplyPolicy(policy, now_ms, &d);
    return d;
  }
  ApplyPolicy(policy, now_ms, &d);
  if (s.unreachable_polls < kCommLostPolls) ++s.unreachable_polls;
  if (s.unreachable_polls == kCommLostPolls && !s.comm_lost) {
    s.comm_lost = true;
    d.codes.push_back(kCommLost);
    // Whatever the battery holds now is unknown: take the safe side.
    if ((s.holding & kOnBatteryBit) != 0 && (s.holding & kBatteryLowBit) == 0) {
      s.holding |= kBatteryLowBit;
      d.codes.push_back(kBatteryLow);
    }
  }
  return d;
}
