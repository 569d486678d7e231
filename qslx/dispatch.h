// Dispatching one request frame: which event to log and which program to
// start. Pure, so that it can be tested and fuzzed without starting anything.
#ifndef VOLTMON_QSLX_DISPATCH_H_
#define VOLTMON_QSLX_DISPATCH_H_

#include <string>

#include "qslx/setup.h"

struct TQsOrder {
  std::string event_key = "LogUnknown";  // section "QSSRV" key
  std::string program;                   // empty: nothing to start
  std::string argument;                  // the single argument
  bool log_program_first = false;        // command 3: log the bare path first
};

// The order a descrambled request frame asks for under `setup`.
TQsOrder DispatchFrame(const std::string& frame, const TQsSetupData& setup);

#endif  // VOLTMON_QSLX_DISPATCH_H_
