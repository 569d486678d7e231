// What a rehearsal of one configured event does, worked out from the event's
// jobs alone: one planned step per job, the remote ones with their slave,
// order and request frame, the local ones marked as not carried out. Pure
// (apart from the language texts of the names), so that a plan is checked
// without a network.
#ifndef VOLTMON_TOOLS_FIRE_PLAN_H_
#define VOLTMON_TOOLS_FIRE_PLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "wkcfg/model/events.h"

enum class TStepKind {
  kOrder,     // a remote job: an order to a slave daemon
  kLocal,     // a job of the master's own computer: not carried out here
  kUnusable,  // a remote job whose slave or port cannot be used
};

struct TPlannedStep {
  TStepKind kind = TStepKind::kLocal;
  std::string shown;  // the job as the console shows it
  std::string host;   // the slave, for kOrder and kUnusable
  uint16_t port = 0;
  int command = -1;     // the order number (kOrders), for kOrder and kUnusable
  std::string frame;    // the clear request line, for kOrder
  std::string problem;  // why a kUnusable step is not sent
};

struct TFirePlan {
  int32_t code = -1;
  std::string name;  // on one line; empty when the language has none
  std::vector<TPlannedStep> steps;

  // Whether some step would order a slave to shut down.
  bool ShutsDown() const;
  // The hosts and ports of those shutdown orders, "host:port" each.
  TTextList ShutdownTargets() const;
};

// The event's name from the language file with its line breaks as blanks;
// empty for a code that is no number or does not fit 8 bits.
std::string OneLineEventName(const TEvents& events, int event, int32_t warning_time);

// The job's line as the console shows it: DescribeJob, or "- " and the job's
// own text for an unknown action code.
std::string ShownJob(const std::string& job);

// The message a message order carries: it names the rehearsed event and
// holds no "|", which would cut it on the slave.
std::string RehearsalMessage(int32_t code, const std::string& name);

// The plan for the event at index `event` of `events` (valid index).
TFirePlan PlanEvent(const TEvents& events, int event, int32_t warning_time);

// Whether a rehearsal may go on: shutdown orders need --yes or an answer on
// a terminal; a dry run sends nothing and needs neither.
enum class TConfirmation { kNotNeeded, kAsk, kRefuse };
TConfirmation ConfirmationFor(const TFirePlan& plan, bool yes, bool dry_run, bool terminal);

// "y" or "yes" in any letter case, blanks around ignored.
bool IsYes(const std::string& answer);

// Where "voltmon.cfg" is looked for, in order: the directory of `config`
// when given (a configuration inside an installation's "bin/"), the
// program's own directory, and the standard installation's "bin/". Each
// with trailing "/"; `program_dir` has one.
TTextList SuiteSettingsDirectories(const std::string& config, const std::string& program_dir);

// "event CODE: NAME", or "event CODE" without a name.
std::string EventHeading(int32_t code, const std::string& name);

// "slave HOST:PORT, order N (NAME)".
std::string OrderHeading(const TPlannedStep& step);

// Every event as a heading line followed by its job lines, indented by two.
TTextList EventListing(const TEvents& events, int32_t warning_time);

#endif  // VOLTMON_TOOLS_FIRE_PLAN_H_
