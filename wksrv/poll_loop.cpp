// The poll loop. The reading itself is taken without the lock, so Stop never
// waits on upsd; everything that follows a reading (detection, the hooks) is
// done under it after checking that no stop came in between, so after Stop
// nothing more reaches the jobs.
#include "wksrv/poll_loop.h"

#include <algorithm>
#include <chrono>

#include "common/clock.h"

namespace {

constexpr int kListAtLeastEveryMs = 30000;

}  // namespace

int ListEveryMs(const TLogDataSetup& data) {
  if (!data.DataEnabled) return kListAtLeastEveryMs;
  return std::min(kListAtLeastEveryMs, 1000 * static_cast<int>(data.DataRate));
}

TPollLoop::TPollLoop(TUpsLink* ups, const TShutdownPolicy& policy, int interval_ms,
                     int list_every_ms, TPollHooks hooks)
    : ups_(ups),
      policy_(policy),
      interval_ms_(interval_ms),
      list_every_ms_(list_every_ms),
      hooks_(std::move(hooks)) {}

void TPollLoop::Run() {
  TDetectState state;
  bool answered = true;  // so that a UPS silent from the start is logged
  int64_t listed = 0;
  bool ever_listed = false;
  for (;;) {
    const int64_t started = NowMs();
    const bool list_all = !ever_listed || started - listed >= list_every_ms_;
    TUpsReading reading = ups_->Poll(list_all);
    if (list_all && reading.reachable) {
      listed = started;
      ever_listed = true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) break;
    if (reading.reachable != answered) {
      answered = reading.reachable;
      hooks_.log(answered ? "UPS answers again" : "UPS not reachable: " + reading.error);
    }
    // Timed from when the UPS was seen, not from when it was asked.
    TDetection detection = Detect(state, reading, NowMs(), policy_);
    state = detection.state;
    for (uint8_t code : detection.codes) hooks_.raise(code);
    hooks_.offer(reading, time(nullptr));
    changed_.wait_for(lock, std::chrono::milliseconds(started + interval_ms_ - NowMs()),
                      [this] { return stopped_; });
    if (stopped_) break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

void TPollLoop::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

bool TPollLoop::WaitFinished(int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [this] { return finished_; });
}
