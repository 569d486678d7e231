// Event detection: which event codes a new reading of the UPS raises, given
// what the previous readings left behind and the time. A pure function, so
// that every rule is tested without a UPS.
#ifndef VOLTMON_WKSRV_DETECT_H_
#define VOLTMON_WKSRV_DETECT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "wkcfg/model/setup.h"
#include "wksrv/ups_link.h"

// The event codes detection raises (the keys of language section "EVENTS").
enum TEventCode : uint8_t {
  kMainsFailure = 0,
  kMainsRestored = 1,
  kBatteryLow = 2,
  kOverload = 3,
  kCommLost = 4,
  kCommRestored = 5,
  kBatteryReplace = 6,
  kTemperature = 7,
  kBypass = 8,
  kEndOfAutonomy = 9,
  kShutdownWarning = 11,
  kShutdownStarted = 12,  // raised by the job runner, never here
  kPhaseFailure = 13,
  kUnbalancedLoad = 14,
};

// Whether the blank-separated flags of a ups.status value hold `flag`.
bool StatusHasFlag(const std::string& status, const char* flag);

// Polls running without a reading before communication counts as lost.
constexpr int kCommLostPolls = 3;

// The shutdown policy of the configuration, in seconds.
struct TShutdownPolicy {
  bool enabled = true;         // SrvDownEnabled
  bool smart = false;          // UpsSmartAutonomy: by battery.runtime, else by time
  int32_t fixed_time = 300;    // UpsFixedTime: on battery this long, 9
  int32_t down_time = 180;     // SrvDownTime: battery.runtime down to this, 9
  int32_t warning_time = 300;  // SrvDownWarningTime: 11 this much earlier
};

TShutdownPolicy ShutdownPolicyOf(const TSetupData& setup);

// What detection remembers from one poll to the next. The default is a UPS
// on mains, so that the first reading counts as a change from there.
struct TDetectState {
  uint32_t holding = 0;       // bit n: the condition of rule n holds
  int unreachable_polls = 0;  // polls running without a reading
  bool comm_lost = false;     // 4 raised and 5 not yet
  int64_t battery_since = 0;  // when the UPS went on battery, in ms
  int32_t runtime = -1;       // the last battery.runtime read on battery; -1 none
  bool warned = false;        // 11 raised in this outage
  bool down_raised = false;   // 9 raised in this outage
};

struct TDetection {
  TDetectState state;
  std::vector<uint8_t> codes;  // in the order they are to be raised
};

// The codes `reading`, taken at `now_ms` (milliseconds on any steady clock), raises
// after `before`, and the state to pass next time. Each code is raised once
// when its condition starts, never again while it holds:
// - by the table of status rules, on readings only: ups.status gains OB 0,
//   then OL 1; LB 2; OVER 3; RB 6; BYPASS 8; a temperature named in
//   ups.alarm or ups.status, or ups.temperature above ups.temperature.high,
//   7; an input phase below half the highest 13; output phase loads more
//   than 30 points apart 14;
// - 4 on the kCommLostPolls-th poll running without a reading, then 2 when
//   the UPS was last seen on battery; 5 at the next reading;
// - with the policy enabled, on battery: 9 after FixedTime, or (Smart, while
//   battery.runtime is known) when it falls to DownTime; 11 WarningTime
//   earlier; both again only after mains returned.
TDetection Detect(const TDetectState& before, const TUpsReading& reading, int64_t now_ms,
                  const TShutdownPolicy& policy);

#endif  // VOLTMON_WKSRV_DETECT_H_
