// The master server's beat: a reading of the UPS every polling interval,
// turned into events by detection and handed on, on a thread of its own so
// that a slow upsd never holds up a stop.
#ifndef VOLTMON_WKSRV_POLL_LOOP_H_
#define VOLTMON_WKSRV_POLL_LOOP_H_

#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

#include "wksrv/detect.h"
#include "wksrv/ups_link.h"

// Where the loop's results go; each is called on the loop's thread.
struct TPollHooks {
  std::function<void(uint8_t code)> raise;                    // each raised event
  std::function<void(const TUpsReading&, time_t now)> offer;  // after every poll
  std::function<void(const std::string& text)> log;           // the UPS lost and found
};

// How often a server on mains power lists every variable: as often as the
// data recorder writes its lines, and at least every 30 s, which bounds how
// late a temperature or phase reading is seen (a status is read every poll).
int ListEveryMs(const TLogDataSetup& data);

class TPollLoop {
 public:
  // `ups` outlives the loop; `interval_ms` is the time from one poll's start
  // to the next; every variable is asked for at the first poll and then at
  // least every `list_every_ms`, the watched ones at every poll.
  TPollLoop(TUpsLink* ups, const TShutdownPolicy& policy, int interval_ms, int list_every_ms,
            TPollHooks hooks);

  // Polls at once and then every interval until Stop. Logs when the UPS
  // stops answering (with the reason) and when it answers again.
  void Run();
  // From another thread: once it returns no hook is called any more; a poll
  // under way is left to end on its own.
  void Stop();
  // Waits up to `timeout_ms` for Run to return; whether it has.
  bool WaitFinished(int timeout_ms);

 private:
  TUpsLink* ups_;
  const TShutdownPolicy policy_;
  const int interval_ms_;
  const int list_every_ms_;
  const TPollHooks hooks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
  bool finished_ = false;
};

#endif  // VOLTMON_WKSRV_POLL_LOOP_H_
