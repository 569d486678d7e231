// The rehearsal of an event and the listing of the events. The configuration
// is read by the console's own model, so a rehearsal sees the events exactly
// as the master server will; the orders go out one at a time in the jobs'
// order, and a slave that cannot be reached is reported and passed over so
// that the next jobs are still tried.

#include "tools/fire.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/files.h"
#include "common/lang.h"
#include "common/orders.h"
#include "common/settings.h"
#include "tools/fire_plan.h"
#include "tools/master_order.h"
#include "wkcfg/model/setup.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitError = 2;
// The bounds put on the configured connection time limit, in seconds.
constexpr int kLeastTimeout = 1;
constexpr int kMostTimeout = 60;

struct TMasterConfig {
  std::string path;
  TSetupData setup;
};

// Finds the installation, sets its language file and loads the
// configuration; prints the problem and returns false when there is none.
bool LoadMasterConfig(const TMasterFire& fire, const std::string& program_dir,
                      TMasterConfig* config) {
  std::string install;
  for (const std::string& directory : SuiteSettingsDirectories(fire.config, program_dir)) {
    install = GetInstallPath(directory);
    if (!install.empty()) break;
  }
  config->path = fire.config;
  if (config->path.empty() && !install.empty()) config->path = install + "bin/wksrv.cfg";
  if (config->path.empty()) {
    std::fprintf(stderr,
                 "qsmaster: no installation found (no bin/voltmon.cfg beside qsmaster nor in "
                 "/usr/vantrel/voltmon/); give --config PATH\n");
    return false;
  }
  const std::string language = install.empty() ? "" : GetLanguageFile(install);
  if (language.empty()) {
    std::fprintf(stderr, "qsmaster: no language file found: events and jobs shown by code\n");
  } else {
    SetLanguageFilePath(install + "languages/" + language);
  }
  if (const int error = LoadServerSetupFile(config->path, &config->setup); error != 0) {
    std::fprintf(stderr, "qsmaster: cannot read %s: %s\n", config->path.c_str(),
                 FileErrorText(error).c_str());
    return false;
  }
  return true;
}

// Asks on the terminal whether the shutdown orders may go out.
bool ConfirmShutdown(const TFirePlan& plan) {
  std::printf("This rehearsal really shuts down: %s\nGo on? [y/N] ",
              JoinList(plan.ShutdownTargets(), ' ').c_str());
  std::fflush(stdout);
  char answer[256];
  if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
    std::printf("\n");
    return false;
  }
  return IsYes(answer);
}

struct TTally {
  int accepted = 0;
  int refused = 0;
  int undelivered = 0;
  int local = 0;
};

// Gives one order and prints its outcome.
void CarryOut(const TPlannedStep& step, int timeout_seconds, TTally* tally) {
  TMasterSend send;
  send.host = step.host;
  send.port = step.port;
  send.line = step.frame;
  send.timeout_seconds = timeout_seconds;
  TOrderOutcome outcome = GiveOrder(send);
  std::string line = "  " + OrderHeading(step) + ": ";
  if (!outcome.greeting.empty()) line += "greeting " + outcome.greeting + ", ";
  switch (outcome.kind) {
    case TOrderOutcome::TKind::kAccepted:
      line += "accepted, sent " + step.frame;
      ++tally->accepted;
      break;
    case TOrderOutcome::TKind::kRefused:
      line += "refused";
      ++tally->refused;
      break;
    default:
      line += "not delivered: " + outcome.detail;
      ++tally->undelivered;
      break;
  }
  std::printf("%s\n", line.c_str());
}

}  // namespace

int RunFire(const TMasterFire& fire, const std::string& program_dir) {
  TMasterConfig config;
  if (!LoadMasterConfig(fire, program_dir, &config)) return kExitError;
  const TEvents& events = config.setup.Ups.Events;
  const int index = events.FindEventByCode(fire.event_code);
  if (index < 0) {
    std::fprintf(stderr, "qsmaster: no event %d in %s ('qsmaster events' lists them)\n",
                 fire.event_code, config.path.c_str());
    return kExitError;
  }
  const TFirePlan plan = PlanEvent(events, index, config.setup.Server.SrvDownWarningTime);
  std::printf("%s (from %s)\n", EventHeading(plan.code, plan.name).c_str(), config.path.c_str());
  std::fflush(stdout);
  switch (ConfirmationFor(plan, fire.yes, fire.dry_run, isatty(STDIN_FILENO) == 1)) {
    case TConfirmation::kRefuse:
      std::fprintf(stderr,
                   "qsmaster: event %d orders %s to shut down and there is no terminal to "
                   "confirm it: nothing sent (give --yes to rehearse it all the same)\n",
                   plan.code, JoinList(plan.ShutdownTargets(), ' ').c_str());
      return kExitRefused;
    case TConfirmation::kAsk:
      if (!ConfirmShutdown(plan)) {
        std::printf("not confirmed: nothing sent\n");
        return kExitRefused;
      }
      break;
    case TConfirmation::kNotNeeded:
      break;
  }
  const int timeout =
      std::min(std::max(config.setup.Server.QsTimeoutConnection, kLeastTimeout), kMostTimeout);
  TTally tally;
  int unusable = 0;
  for (size_t i = 0; i < plan.steps.size(); ++i) {
    const TPlannedStep& step = plan.steps[i];
    std::printf("job %zu %s\n", i + 1, step.shown.c_str());
    if (step.kind == TStepKind::kLocal) {
      std::printf("  not carried out: a local job (this is not the master server)\n");
      ++tally.local;
    } else if (step.kind == TStepKind::kUnusable) {
      std::printf("  order %d (%s) to '%s': not sent: %s\n", step.command,
                  FindOrder(step.command)->name, step.host.c_str(), step.problem.c_str());
      ++unusable;
    } else if (fire.dry_run) {
      std::printf("  %s: would send %s\n", OrderHeading(step).c_str(), step.frame.c_str());
    } else {
      CarryOut(step, timeout, &tally);
    }
    std::fflush(stdout);
  }
  if (fire.dry_run) {
    std::printf("dry run: nothing sent; %d unusable, %d local jobs not carried out\n", unusable,
                tally.local);
    return unusable == 0 ? 0 : kExitRefused;
  }
  std::printf("summary: %d accepted, %d refused, %d not delivered, %d local jobs not carried out\n",
              tally.accepted, tally.refused, tally.undelivered + unusable, tally.local);
  return tally.refused + tally.undelivered + unusable == 0 ? 0 : kExitRefused;
}

int RunEvents(const TMasterFire& events, const std::string& program_dir) {
  TMasterConfig config;
  if (!LoadMasterConfig(events, program_dir, &config)) return kExitError;
  std::printf("events of %s:\n", config.path.c_str());
  const TTextList lines =
      EventListing(config.setup.Ups.Events, config.setup.Server.SrvDownWarningTime);
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  if (lines.empty()) std::printf("(no events configured)\n");
  return 0;
}
