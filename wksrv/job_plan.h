// What the master does for one raised event, worked out from the configured
// jobs alone: a list of steps in the jobs' order, where consecutive remote
// jobs make one step whose orders go out together. Pure (apart from the
// language text of the event's name), so that a plan is checked without a
// network, a UPS or a clock.
#ifndef VOLTMON_WKSRV_JOB_PLAN_H_
#define VOLTMON_WKSRV_JOB_PLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "wkcfg/model/events.h"

enum class TJobKind {
  kOrders,       // consecutive remote jobs, sent at the same time
  kPopup,        // "$POPUP": the name on the logged-in users' terminals
  kLog,          // "$LOG": a line in the master's log
  kSysLog,       // "$MSLOG": a line in the system log
  kLocalScript,  // "$L_SHELL": a local program started directly
  kEmail,        // "$EMAIL": a mail to the recipient
  kShutdown,     // "$SHUTDOWN": the master's own computer goes down
  kUnknown,      // an action code the master does not know: logged, skipped
};

// One remote job of an orders step.
struct TPlannedOrder {
  std::string job;   // as configured, for the log
  std::string host;  // the slave's name or address
  uint16_t port = 0;
  int command = -1;     // the order's number (kOrders)
  std::string frame;    // the clear request line
  std::string problem;  // not empty: the job cannot be sent (no host, bad port)
};

struct TJobStep {
  TJobKind kind = TJobKind::kUnknown;
  std::string job;                    // as configured (the first one for kOrders)
  std::string parameter;              // script path, mail recipient
  std::vector<TPlannedOrder> orders;  // kOrders only
};

struct TEventPlan {
  int32_t code = -1;
  std::string name;  // the event's name on one line; never empty
  std::vector<TJobStep> steps;
};

// The event code whose jobs a "$SHUTDOWN" job runs as it starts.
constexpr int32_t kShutdownEventCode = 12;

// The event's name from the language file on one line, or "UPS event CODE"
// when the language file has none, so that a message never goes out empty.
std::string EventTitle(const TEvents& events, int32_t code, int32_t warning_time);

// The plan of the first configured event with `code`; no steps when there
// is none.
TEventPlan PlanEvent(const TEvents& events, int32_t code, int32_t warning_time);

// Whether a step still runs once the master's own shutdown has begun: only
// the ones that log.
bool RunsAfterShutdown(TJobKind kind);

#endif  // VOLTMON_WKSRV_JOB_PLAN_H_
