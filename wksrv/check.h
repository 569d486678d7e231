// "wksrv --check": what the master server would watch and every problem of
// its configuration that would keep it from protecting, found without
// starting it.
#ifndef VOLTMON_WKSRV_CHECK_H_
#define VOLTMON_WKSRV_CHECK_H_

#include <functional>
#include <string>

#include "common/text.h"
#include "wkcfg/model/setup.h"
#include "wksrv/master_settings.h"
#include "wksrv/ups_link.h"

// The outside world the check asks, so that tests can answer for it.
struct TCheckProbes {
  std::function<bool(const std::string& host)> Resolves;  // has an IPv4 address
  std::function<bool(const std::string& path)> Runnable;  // absolute, regular, executable
};

// The name service and file system of this computer.
TCheckProbes SystemCheckProbes();

struct TCheckReport {
  TTextList watch;     // the UPS, the policy and the events with their jobs
  TTextList problems;  // empty when the configuration is sound
};

// The report for `setup` and `master`, with `reading` a poll of the UPS just
// taken. Problems: no UPS reachable; a remote job whose slave does not
// resolve or whose port is none; a local script or the shutdown command
// that cannot be run; an e-mail job without mail server or recipient; an
// own shutdown while system shutdown is disabled; a UPS switch-off or
// restart without NUT account; an unknown job; an event code twice.
TCheckReport CheckMaster(const TSetupData& setup, const TMasterSettings& master,
                         const TUpsReading& reading, const TCheckProbes& probes);

// The program of a command line: its first blank-separated word.
std::string CommandProgram(const std::string& command);

#endif  // VOLTMON_WKSRV_CHECK_H_
