// The throttle of refused callers. Twenty lines a minute per address keep a
// stray caller or a misconfigured master fully visible; past that one line
// per address and minute gives the count. Orders of allowed masters never
// pass through the throttle.
#include "qslx/refusal_throttle.h"

#include <time.h>

#include <utility>

#include "common/lang.h"

namespace {

const char kRefusedKey[] = "LogNotExecuted";
const char kSummaryKey[] = "LogNotExecutedMore";
// For language files older than the summary.
const char kSummaryFallback[] = "Orders refused from $: $ more within one minute";

}  // namespace

TQsRefusalDecision TQsRefusalThrottle::Refuse(const std::string& address, int64_t now) {
  TQsRefusalDecision decision;
  TMinute& minute = minutes_[address];
  if (minute.count > 0 && now - minute.start >= kRefusalMinuteSeconds) {
    if (minute.count > kRefusalsLoggedPerMinute) {
      decision.ended_surplus = minute.count - kRefusalsLoggedPerMinute;
    }
    minute.count = 0;
  }
  if (minute.count == 0) minute.start = now;
  ++minute.count;
  decision.log_line = minute.count <= kRefusalsLoggedPerMinute;
  return decision;
}

std::vector<TQsRefusalSummary> TQsRefusalThrottle::Due(int64_t now, bool all) {
  std::vector<TQsRefusalSummary> due;
  for (auto it = minutes_.begin(); it != minutes_.end();) {
    const TMinute& minute = it->second;
    if (!all && now - minute.start < kRefusalMinuteSeconds) {
      ++it;
      continue;
    }
    if (minute.count > kRefusalsLoggedPerMinute) {
      due.push_back({it->first, minute.count - kRefusalsLoggedPerMinute});
    }
    it = minutes_.erase(it);
  }
  return due;
}

int64_t MonotonicSeconds() {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
  return static_cast<int64_t>(now.tv_sec);
}

TQsThrottledEvents::TQsThrottledEvents(TQsEventSink* inner, TClock clock)
    : inner_(inner), clock_(std::move(clock)) {}

void TQsThrottledEvents::WriteEvent(const std::string& key, const TTextList& params) {
  if (key != kRefusedKey || params.size() != 1) {
    inner_->WriteEvent(key, params);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  TQsRefusalDecision decision = throttle_.Refuse(params[0], clock_());
  if (decision.ended_surplus > 0) WriteSummary(params[0], decision.ended_surplus);
  if (decision.log_line) inner_->WriteEvent(key, params);
}

void TQsThrottledEvents::WriteLine(const std::string& text) {
  inner_->WriteLine(text);
}

void TQsThrottledEvents::FlushEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const TQsRefusalSummary& s : throttle_.Due(clock_())) WriteSummary(s.address, s.count);
}

void TQsThrottledEvents::FlushAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const TQsRefusalSummary& s : throttle_.Due(clock_(), true)) WriteSummary(s.address, s.count);
}

void TQsThrottledEvents::WriteSummary(const std::string& address, int64_t count) {
  const TTextList params = {address, std::to_string(count)};
  std::string text = EventText(kSummaryKey, params);
  if (text.empty()) text = ReplaceParams(kSummaryFallback, params);
  inner_->WriteLine(text);
}
