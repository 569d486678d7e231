// The command line of nsrun, the runner that puts a command into namespaces
// of its own. Pure, so that the rules can be tested without privileges.
#ifndef VOLTMON_TESTS_SUPPORT_NSRUN_OPTIONS_H_
#define VOLTMON_TESTS_SUPPORT_NSRUN_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

// One directory shown through an overlay: reads come from `dir` itself,
// writes go to `upper_base` + "/upper" (work directory `upper_base` + "/work").
struct TNsrunOverlay {
  std::string dir;
  std::string upper_base;
};

struct TNsrunOptions {
  bool help = false;
  bool new_pid = true;  // the command's runner is PID 1 of a new PID namespace
  bool new_net = true;  // a new network namespace with only loopback, up
  std::vector<TNsrunOverlay> overlays;
  int64_t timeout_seconds = 300;  // 0: no limit
  std::vector<std::string> command;
};

// Parses `args` (without the program name). False with `*error` set when the
// line is not usable; a request for help needs no command.
bool ParseNsrunArgs(const std::vector<std::string>& args, TNsrunOptions* options,
                    std::string* error);

// The text printed by --help.
std::string NsrunUsage();

#endif  // VOLTMON_TESTS_SUPPORT_NSRUN_OPTIONS_H_
