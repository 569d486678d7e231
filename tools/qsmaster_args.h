// The command line of qsmaster, the stand-in master server: which exchange
// to run and with what. Pure, so that the rules are testable.
#ifndef VOLTMON_TOOLS_QSMASTER_ARGS_H_
#define VOLTMON_TOOLS_QSMASTER_ARGS_H_

#include <cstdint>
#include <string>
#include <vector>

struct TMasterSend {
  std::string host;
  uint16_t port = 0;
  std::string line;         // the clear frame, or the exact line with `plain`
  bool plain = false;       // send `line` without scrambling it
  std::string bind;         // local address, empty: any
  int timeout_seconds = 5;  // connect and greeting each
};

struct TMasterServe {
  uint16_t port = 0;
  std::string bind = "0.0.0.0";
  std::string reply = "<|5|Vantrel Wattkeep|>";
  bool silent = false;  // answer nothing, keep the connection open
  int64_t count = 0;    // end after this many connections; 0: never
};

// "fire" and "events": the master's configuration file, the installation's
// "bin/wksrv.cfg" when `config` is empty.
struct TMasterFire {
  int32_t event_code = -1;  // 0-255, the 8 bits of an event code
  std::string config;
  bool dry_run = false;  // list the plan, send nothing
  bool yes = false;      // no confirmation for shutdown orders
};

struct TMasterArgs {
  enum class TMode { kHelp, kVersion, kSend, kServe, kFire, kEvents } mode = TMode::kHelp;
  TMasterSend send;
  TMasterServe serve;
  TMasterFire fire;  // also holds the configuration of "events"
};

// Parses `args` (without the program name); false with `*error` set.
bool ParseMasterArgs(const std::vector<std::string>& args, TMasterArgs* parsed, std::string* error);

// The text printed by --help.
std::string MasterUsage();

#endif  // VOLTMON_TOOLS_QSMASTER_ARGS_H_
