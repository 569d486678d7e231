// The daemon's process-wide state, gathered in one place.
#ifndef VOLTMON_QSLX_GLOBALS_H_
#define VOLTMON_QSLX_GLOBALS_H_

#include <memory>

#include "qslx/alive.h"
#include "qslx/command_server.h"
#include "qslx/event_log.h"
#include "qslx/peers.h"
#include "qslx/refusal_throttle.h"
#include "qslx/setup.h"

struct TQsDaemonState {
  TQsSetupData setup;
  TQsAllowedPeers AllowedPeers;
  TQsAliveState alive;
  std::unique_ptr<TQsEventLog> events;
  // The command server's events: refused callers throttled.
  std::unique_ptr<TQsThrottledEvents> server_events;
  // Declared last: released first, while what its workers use still lives.
  std::unique_ptr<TQshTcpServer> server;
};

// The one instance of the running daemon.
TQsDaemonState& QsDaemon();

#endif  // VOLTMON_QSLX_GLOBALS_H_
