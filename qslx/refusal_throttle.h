// Refused callers in the event log, throttled per address: a flood of
// strangers must not fill the log up to its size limit, whose restart would
// take the record of real orders with it.
#ifndef VOLTMON_QSLX_REFUSAL_THROTTLE_H_
#define VOLTMON_QSLX_REFUSAL_THROTTLE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "qslx/event_log.h"

// Refusals of one address logged line by line within one minute.
constexpr int64_t kRefusalsLoggedPerMinute = 20;
constexpr int64_t kRefusalMinuteSeconds = 60;

// The refusals of one address past those logged, in one minute.
struct TQsRefusalSummary {
  std::string address;
  int64_t count = 0;
};

// What to log for one refusal.
struct TQsRefusalDecision {
  // > 0: the address's previous minute has ended with this many refusals
  // past the logged ones; its summary line comes first.
  int64_t ended_surplus = 0;
  bool log_line = false;  // the refusal's own line
};

// The decision alone, on times in seconds of a clock that never goes back.
// An address's minute starts with its first refusal after the last minute
// ended. Not thread-safe.
class TQsRefusalThrottle {
 public:
  TQsRefusalDecision Refuse(const std::string& address, int64_t now);
  // The summaries of the minutes ended by `now`, or of all minutes with
  // `all` (those with refusals past the logged ones, in address order); the
  // minutes summed up are forgotten.
  std::vector<TQsRefusalSummary> Due(int64_t now, bool all = false);

 private:
  struct TMinute {
    int64_t start = 0;
    int64_t count = 0;
  };
  std::map<std::string, TMinute> minutes_;
};

// Seconds of the monotonic clock.
int64_t MonotonicSeconds();

// An event sink that passes everything on to `inner` but throttles the event
// "LogNotExecuted" per address (its parameter). A summary is the event
// "LogNotExecutedMore" with the address and the count; an English text
// stands in when the language file has none. Thread-safe.
class TQsThrottledEvents : public TQsEventSink {
 public:
  using TClock = std::function<int64_t()>;
  explicit TQsThrottledEvents(TQsEventSink* inner, TClock clock = MonotonicSeconds);

  void WriteEvent(const std::string& key, const TTextList& params) override;
  void WriteLine(const std::string& text) override;

  // Writes the summaries of the minutes that have ended.
  void FlushEnded();
  // Writes every pending summary, also of minutes still running (at stop).
  void FlushAll();

 private:
  void WriteSummary(const std::string& address, int64_t count);

  TQsEventSink* inner_;
  TClock clock_;
  std::mutex mutex_;
  TQsRefusalThrottle throttle_;
};

#endif  // VOLTMON_QSLX_REFUSAL_THROTTLE_H_
