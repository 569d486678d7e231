// Storage of the daemon's process-wide state.
#include "qslx/globals.h"

TQsDaemonState& QsDaemon() {
  static TQsDaemonState state;
  return state;
}
