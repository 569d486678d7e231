// The configuration check. It walks the same things the running server
// uses (the UPS reading, the policy, each event's jobs in order) and says
// for each what would fail, in the words of the configuration's keys.
#include "wksrv/check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "common/resolve.h"
#include "common/tcp.h"
#include "wkcfg/model/events.h"

namespace {

// Action indexes of the action table.
enum TAction {
  kOwnShutdown = 2,
  kLocalScript = 8,
  kEmail = 9,
};

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// The action index of a job's code; -1 for an unknown one.
int ActionOf(const std::string& job) {
  const std::string code = job.substr(0, job.find(','));
  for (int i = 0; i < kActionCount; ++i) {
    if (code == kActionCodes[i]) return i;
  }
  return -1;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string PolicyLine(const TSetupData& setup) {
  const TServerSetup& s = setup.Server;
  if (!s.SrvDownEnabled) return "System shutdown: disabled (SrvDownEnabled)";
  const std::string warning = ", event 11 " + std::to_string(s.SrvDownWarningTime) + " s before";
  if (setup.Ups.UpsSmartAutonomy) {
    return "System shutdown: event 9 when battery.runtime falls to " +
           std::to_string(s.SrvDownTime) + " s (without it after " +
           std::to_string(s.UpsFixedTime) + " s on battery)" + warning;
  }
  return "System shutdown: event 9 after " + std::to_string(s.UpsFixedTime) + " s on battery" +
         warning;
}

void CheckJob(const TSetupData& setup, const TMasterSettings& master, const std::string& where,
              const std::string& job, const TCheckProbes& probes, TCheckReport* report) {
  const int action = ActionOf(job);
  auto problem = [&](const std::string& text) { report->problems.push_back(where + text); };
  if (action < 0) {
    problem("unknown job " + Quoted(job));
  } else if (IsRemoteAction(action)) {
    const std::string host = JobParameter(job, 0);
    const int32_t port = TextToIntInRange(JobParameter(job, 1), 1, 65535);
    if (host.empty() || !probes.Resolves(host)) {
      problem("the slave " + Quoted(host) + " does not resolve");
    }
    if (port < 0) problem("the port " + Quoted(JobParameter(job, 1)) + " is no TCP port");
  } else if (action == kLocalScript) {
    const std::string script = JobParameter(job, 0);
    if (!probes.Runnable(script)) problem("the script " + Quoted(script) + " cannot be run");
  } else if (action == kEmail) {
    if (setup.Email.EmailServer.empty()) problem("an e-mail, but no mail server (EmailServer)");
    if (JobParameter(job, 0).empty()) problem("an e-mail without recipient");
  } else if (action == kOwnShutdown) {
    if (!setup.Server.SrvDownEnabled) {
      problem("the own shutdown never runs: system shutdown is disabled (SrvDownEnabled)");
    } else if (!probes.Runnable(CommandProgram(master.ShutdownCommand))) {
      problem("the shutdown command " + Quoted(master.ShutdownCommand) + " cannot be run");
    }
  }
}

constexpr int kCheckLookupMs = 3000;

}  // namespace

TCheckProbes SystemCheckProbes() {
  TCheckProbes probes;
  // Each name bounded as a job's order is: a silent name server must not
  // hold the check for good.
  probes.Resolves = [](const std::string& host) {
    std::string dotted;
    return ResolveIPv4Within(host, kCheckLookupMs, &dotted) == TResolveResult::kResolved;
  };
  probes.Runnable = [](const std::string& path) {
    struct stat st;
    return !path.empty() && path[0] == '/' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           access(path.c_str(), X_OK) == 0;
  };
  return probes;
}

std::string CommandProgram(const std::string& command) {
  const size_t start = command.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  return command.substr(start, command.find_first_of(" \t", start) - start);
}

TCheckReport CheckMaster(const TSetupData& setup, const TMasterSettings& master,
                         const TUpsReading& reading, const TCheckProbes& probes) {
  TCheckReport report;
  const int polling = setup.Server.SrvPollingUps > 0 ? setup.Server.SrvPollingUps : 1;
  report.watch.push_back("UPS " + master.NutUps + " through NUT, read every " +
                         std::to_string(polling) + " s");
  if (reading.reachable) {
    auto status = reading.vars.find("ups.status");
    report.watch.push_back("UPS status now: " +
                           (status == reading.vars.end() ? "?" : status->second));
  } else {
    report.problems.push_back("no UPS reachable: " + reading.error);
  }
  report.watch.push_back(PolicyLine(setup));
  const TUpsSetup& ups = setup.Ups;
  if ((ups.UpsOffEnabled || ups.UpsOnEnabled) && master.NutUser.empty()) {
    report.problems.push_back(
        "the UPS switch-off or restart needs a NUT account (NutUser of [Master])");
  }
  if (setup.Server.QsAliveEnabled) {
    report.watch.push_back("Alive service on TCP port " + std::to_string(setup.Server.QsAlivePort));
  }
  std::set<int32_t> seen;
  const TEvents& events = ups.Events;
  for (int e = 0; e < events.Count(); ++e) {
    const TEventJobs& list = events.Lists()[e];
    int32_t code = -1;
    if (list.empty() || !ParseInt32(list[0], &code) || code < 0 || code > 255) {
      report.problems.push_back("event line " + std::to_string(e) + " " +
                                Quoted(events.EventLine(e)) + " has no event code");
      continue;
    }
    const std::string name =
        OneLine(events.EventName(static_cast<uint8_t>(code), setup.Server.SrvDownWarningTime));
    report.watch.push_back("Event " + std::to_string(code) + (name.empty() ? "" : " " + name) +
                           ": " + std::to_string(list.size() - 1) + " job(s)");
    if (!seen.insert(code).second) {
      report.problems.push_back("event " + std::to_string(code) +
                                " is configured twice; only the first runs");
    }
    for (size_t j = 1; j < list.size(); ++j) {
      const std::string shown = DescribeJob(list[j]);
      report.watch.push_back("  " + (shown.empty() ? list[j] : shown));
      CheckJob(setup, master, "event " + std::to_string(code) + ", job " + std::to_string(j) + ": ",
               list[j], probes, &report);
    }
  }
  return report;
}
