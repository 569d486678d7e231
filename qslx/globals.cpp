// Storage of the daemon's process-wide state.
#include "qslx/globals.h"

volatile sig_atomic_t QsHangUp = 0;
volatile sig_atomic_t QsTerminate = 0;
volatile sig_atomic_t QsStop = 0;
volatile sig_atomic_t QsReaping = 0;

TQsDaemonState& QsDaemon() {
  static TQsDaemonState state;
  return state;
}
