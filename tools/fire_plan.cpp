// Plans a rehearsal. A remote job is stored as "code,address,port"; the
// console checks its port when it is typed, but a hand-edited file may hold
// anything, so a job whose slave is missing or whose port is no port becomes
// an unusable step that is reported, never sent to some other port. So does
// a message whose line the daemon would not read (a very long event name).

#include "tools/fire_plan.h"

#include <algorithm>

#include "common/lang.h"
#include "common/orders.h"
#include "qslx/request_line.h"

namespace {

const char kStandardInstallPath[] = "/usr/vantrel/voltmon/";

std::string OnOneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

int32_t EventCode(const TEventJobs& list) {
  int32_t code = -1;
  if (list.empty() || !ParseInt32(list[0], &code)) return -1;
  return code;
}

TPlannedStep PlanJob(const std::string& job, int32_t code, const std::string& name) {
  TPlannedStep step;
  step.shown = ShownJob(job);
  TTextList parts;
  SplitToList(',', job, &parts, true);
  const TOrder* row = FindOrderByAction(parts.empty() ? "" : parts[0]);
  if (row == nullptr) return step;
  step.command = row->command;
  step.host = JobParameter(job, 0);
  const std::string port = JobParameter(job, 1);
  int32_t number = 0;
  if (step.host.empty()) {
    step.kind = TStepKind::kUnusable;
    step.problem = "no slave address";
  } else if (!ParseInt32(port, &number) || number < 1 || number > 65535) {
    step.kind = TStepKind::kUnusable;
    step.problem = "the port '" + port + "' is not 1-65535";
  } else {
    step.kind = TStepKind::kOrder;
    step.port = static_cast<uint16_t>(number);
    step.frame = OrderFrame(code, *row, RehearsalMessage(code, name));
    // The daemon would greet, then drop the line unread: not an order to
    // report as accepted. Scrambling doubles the frame.
    step.problem = RequestLineProblem(2 * step.frame.size());
    if (!step.problem.empty()) {
      step.kind = TStepKind::kUnusable;
      step.frame.clear();
    }
  }
  return step;
}

}  // namespace

bool TFirePlan::ShutsDown() const {
  return !ShutdownTargets().empty();
}

TTextList TFirePlan::ShutdownTargets() const {
  TTextList targets;
  for (const TPlannedStep& step : steps) {
    if (step.kind == TStepKind::kOrder && step.command == kShutdownCommand) {
      targets.push_back(step.host + ":" + std::to_string(step.port));
    }
  }
  return targets;
}

std::string OneLineEventName(const TEvents& events, int event, int32_t warning_time) {
  int32_t code = EventCode(events.Lists()[static_cast<size_t>(event)]);
  if (code < 0 || code > 255) return "";
  return TrimControls(OnOneLine(events.EventName(static_cast<uint8_t>(code), warning_time)));
}

std::string ShownJob(const std::string& job) {
  TTextList parts;
  SplitToList(',', job, &parts, true);
  const std::string code = parts.empty() ? "" : parts[0];
  // Without the action's text (an unknown code, or no language file) the
  // job's own text is all there is to show.
  const int action = ActionIndex(code);
  if (kActionCodes[action] != code || LangText(std::to_string(action), "ACTIONS").empty()) {
    return "- " + job;
  }
  return DescribeJob(job);
}

std::string RehearsalMessage(int32_t code, const std::string& name) {
  std::string text = "Rehearsal of UPS event " + std::to_string(code);
  if (!name.empty()) text += " (" + name + ")";
  text += ": no action needed";
  std::replace(text.begin(), text.end(), '|', '/');
  return OnOneLine(text);
}

TFirePlan PlanEvent(const TEvents& events, int event, int32_t warning_time) {
  TFirePlan plan;
  plan.code = EventCode(events.Lists()[static_cast<size_t>(event)]);
  plan.name = OneLineEventName(events, event, warning_time);
  for (int position = 0; position < events.JobCount(event); ++position) {
    plan.steps.push_back(PlanJob(events.Job(event, position), plan.code, plan.name));
  }
  return plan;
}

TConfirmation ConfirmationFor(const TFirePlan& plan, bool yes, bool dry_run, bool terminal) {
  if (yes || dry_run || !plan.ShutsDown()) return TConfirmation::kNotNeeded;
  return terminal ? TConfirmation::kAsk : TConfirmation::kRefuse;
}

bool IsYes(const std::string& answer) {
  std::string word = TrimControls(answer);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return word == "y" || word == "yes";
}

TTextList SuiteSettingsDirectories(const std::string& config, const std::string& program_dir) {
  TTextList directories;
  if (!config.empty()) {
    size_t slash = config.rfind('/');
    directories.push_back(slash == std::string::npos ? "./" : config.substr(0, slash + 1));
  }
  for (const std::string& directory : {program_dir, std::string(kStandardInstallPath) + "bin/"}) {
    if (std::find(directories.begin(), directories.end(), directory) == directories.end()) {
      directories.push_back(directory);
    }
  }
  return directories;
}

std::string EventHeading(int32_t code, const std::string& name) {
  std::string heading = "event " + std::to_string(code);
  return name.empty() ? heading : heading + ": " + name;
}

std::string OrderHeading(const TPlannedStep& step) {
  return "slave " + step.host + ":" + std::to_string(step.port) + ", order " +
         std::to_string(step.command) + " (" + FindOrder(step.command)->name + ")";
}

TTextList EventListing(const TEvents& events, int32_t warning_time) {
  TTextList lines;
  for (int event = 0; event < events.Count(); ++event) {
    const TEventJobs& list = events.Lists()[static_cast<size_t>(event)];
    std::string heading =
        EventCode(list) < 0 ? "event '" + list[0] + "'" : EventHeading(EventCode(list), "");
    std::string name = OneLineEventName(events, event, warning_time);
    lines.push_back(name.empty() ? heading : heading + ": " + name);
    for (int position = 0; position < events.JobCount(event); ++position) {
      lines.push_back("  " + ShownJob(events.Job(event, position)));
    }
    if (events.JobCount(event) == 0) lines.push_back("  (no jobs)");
  }
  return lines;
}
