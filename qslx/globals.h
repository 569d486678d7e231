// The daemon's process-wide state, gathered in one place.
#ifndef VOLTMON_QSLX_GLOBALS_H_
#define VOLTMON_QSLX_GLOBALS_H_

#include <signal.h>

#include <memory>

#include "qslx/alive.h"
#include "qslx/command_server.h"
#include "qslx/event_log.h"
#include "qslx/peers.h"
#include "qslx/refusal_throttle.h"
#include "qslx/setup.h"

// Written by the signal handler, read by the main loop.
extern volatile sig_atomic_t QsHangUp;
extern volatile sig_atomic_t QsTerminate;
extern volatile sig_atomic_t QsStop;
extern volatile sig_atomic_t QsReaping;

struct TQsDaemonState {
  TQsSetupData Setup;
  TQsAllowedPeers AllowedPeers;
  TQsAliveState Alive;
  std::unique_ptr<TQsEventLog> Events;
  // The command server's events: refused callers throttled.
  std::unique_ptr<TQsThrottledEvents> ServerEvents;
  // Declared last: released first, while what its workers use still lives.
  std::unique_ptr<TQshTcpServer> Server;
};

// The one instance of the running daemon.
TQsDaemonState& QsDaemon();

#endif  // VOLTMON_QSLX_GLOBALS_H_
