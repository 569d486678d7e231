// Plans an event's jobs. A remote job is stored as "code,address,port"; the
// console checks the port as it is typed, but a hand-edited file may hold
// anything, so such a job stays in its group with the problem noted, to be
// logged and never sent to some other port.

#include "wksrv/job_plan.h"

#include <algorithm>

#include "common/lang.h"
#include "common/orders.h"
#include "common/text.h"

namespace {

struct TLocalAction {
  const char* code;
  TJobKind kind;
};

const TLocalAction kLocalActions[] = {
    {"$POPUP", TJobKind::kPopup},       {"$LOG", TJobKind::kLog},
    {"$SHUTDOWN", TJobKind::kShutdown}, {"$L_SHELL", TJobKind::kLocalScript},
    {"$EMAIL", TJobKind::kEmail},       {"$MSLOG", TJobKind::kSysLog},
};

std::string ActionOf(const std::string& job) {
  TTextList parts;
  SplitToList(',', job, &parts, true);
  return parts.empty() ? "" : parts[0];
}

TPlannedOrder PlanOrder(const std::string& job, const TOrder& row, int32_t code,
                        const std::string& name) {
  TPlannedOrder order;
  order.job = job;
  order.command = row.command;
  order.host = JobParameter(job, 0);
  const std::string port = JobParameter(job, 1);
  int32_t number = 0;
  if (order.host.empty()) {
    order.problem = "no slave address";
  } else if (!ParseInt32(port, &number) || number < 1 || number > 65535) {
    order.problem = "the port '" + port + "' is not 1-65535";
  } else {
    order.port = static_cast<uint16_t>(number);
    order.frame = OrderFrame(code, row, name);
  }
  return order;
}

}  // namespace

std::string EventTitle(const TEvents& events, int32_t code, int32_t warning_time) {
  std::string name;
  if (code >= 0 && code <= 255) {
    name = ExpandText(events.EventName(static_cast<uint8_t>(code), warning_time));
  }
  std::replace_if(
      name.begin(), name.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  name = TrimControls(name);
  return name.empty() ? "UPS event " + std::to_string(code) : name;
}

TEventPlan PlanEvent(const TEvents& events, int32_t code, int32_t warning_time) {
  TEventPlan plan;
  plan.code = code;
  plan.name = EventTitle(events, code, warning_time);
  const int event = events.FindEventByCode(code);
  if (event < 0) return plan;
  for (int position = 0; position < events.JobCount(event); ++position) {
    const std::string job = events.Job(event, position);
    const std::string action = ActionOf(job);
    const TOrder* row = FindOrderByAction(action);
    if (row != nullptr) {
      if (plan.steps.empty() || plan.steps.back().kind != TJobKind::kOrders) {
        TJobStep step;
        step.kind = TJobKind::kOrders;
        step.job = job;
        plan.steps.push_back(step);
      }
      plan.steps.back().orders.push_back(PlanOrder(job, *row, code, plan.name));
      continue;
    }
    TJobStep step;
    step.job = job;
    step.parameter = JobParameter(job, 0);
    for (const TLocalAction& local : kLocalActions) {
      if (action == local.code) step.kind = local.kind;
    }
    plan.steps.push_back(step);
  }
  return plan;
}

bool RunsAfterShutdown(TJobKind kind) {
  return kind == TJobKind::kLog || kind == TJobKind::kSysLog;
}
