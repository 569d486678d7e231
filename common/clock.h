// The monotonic clock and a plain pause, in milliseconds: time limits and
// polls measured with them are stretched neither by a change of the system
// time nor by a signal.
#ifndef VOLTMON_COMMON_CLOCK_H_
#define VOLTMON_COMMON_CLOCK_H_

#include <time.h>

#include <cerrno>
#include <cstdint>

// Milliseconds on CLOCK_MONOTONIC.
inline int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Sleeps `ms` milliseconds, resuming after signals.
inline void SleepMs(int ms) {
  timespec left = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

#endif  // VOLTMON_COMMON_CLOCK_H_
