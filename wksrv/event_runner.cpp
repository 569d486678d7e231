// Each raised event runs on a thread of its own, its steps one after the
// other, so that a job's wait never holds the poll loop nor another event.
// What may block for long (an order, a pop-up, a mail) runs on a task thread
// that owns everything it uses; the event's thread waits for it until its
// time limit or a stop, and a task still running then is detached and left
// to end by itself, which it does within its own limit. The event threads
// use the setup and the UPS, so they are always joined; what they do
// themselves (log lines, the system log, starting programs, the UPS's few
// commands) is short.
//
// The own shutdown: "$SHUTDOWN" marks it started, runs event 12's jobs as
// part of itself, asks the UPS to switch off (and on again) and starts the
// shutdown command. From then on, every other job of every event, running
// or raised later, is skipped unless it only logs.

#include "wksrv/event_runner.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/orders.h"
#include "wksrv/job_plan.h"
#include "wksrv/local_jobs.h"
#include "wksrv/master_log.h"

namespace {

// The bounds put on the configured connection time limit, in seconds.
constexpr int kLeastOrderTimeout = 1;
constexpr int kMostOrderTimeout = 60;
// An order is given up a little after its limit: GiveOrder bounds the
// connect and the greeting each, and is let finish when it is that close.
constexpr int kOrderGraceMs = 250;
constexpr int kPopupTimeoutMs = 5000;
constexpr int kMailTimeoutSeconds = 30;
constexpr int kMailGraceMs = 2000;
// More events at once than this means the UPS flaps; the surplus is logged
// and dropped rather than piling up threads.
constexpr size_t kMaxRunningEvents = 32;

using TClock = std::chrono::steady_clock;

// Shared by the runner and its task threads, so that a detached task still
// has a lock to report to after the runner is gone.
struct TWake {
  std::mutex mutex;
  std::condition_variable cv;
  bool stopping = false;
  uint64_t events_ended = 0;  // counts up as event threads end
};

struct TTaskResult {
  bool finished = false;
  bool ok = false;
  std::string detail;
};

using TTaskBody = std::function<TTaskResult()>;

// Starts a thread with every signal blocked, so that the program's signals
// reach its own thread. Throws std::system_error as std::thread does.
template <typename Function>
std::thread StartBlocked(Function&& function) {
  sigset_t all;
  sigset_t old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  try {
    std::thread thread(std::forward<Function>(function));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return thread;
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    throw;
  }
}

std::string OrderText(const TPlannedOrder& order) {
  const TOrder* row = FindOrder(order.command);
  const char* name = row != nullptr ? row->name : "?";
  return "order " + std::to_string(order.command) + " (" + name + ") to " + order.host + ":" +
         std::to_string(order.port);
}

std::string HostName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0) return "?";
  return name;
}

}  // namespace

TJobWorld RealJobWorld(const TSetupData& setup) {
  TJobWorld world;
  world.give_order = GiveOrder;
  world.popup = PopupOnTerminals;
  world.mail = [](const TMailMessage& message, std::string* error) {
    TMailSender sender = RegisteredMailSender();
    if (sender == nullptr) {
      *error = "this build of the master sends no mail";
      return false;
    }
    return sender(message, error);
  };
  world.system_log = SystemLogLine;
  world.start = StartProgram;
  world.log = [&setup](const std::string& text) { AppendMasterLog(setup, text); };
  return world;
}

struct TEventRunner::TImpl {
  TImpl(const TSetupData& s, const TMasterSettings& m, TUpsLink* u)
      : setup(s), master(m), ups(u), world(RealJobWorld(s)) {}

  const TSetupData& setup;
  const TMasterSettings& master;
  TUpsLink* const ups;
  TJobWorld world;
  const std::shared_ptr<TWake> wake = std::make_shared<TWake>();
  std::atomic<bool> shutdown_started{false};

  struct TEventThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex threads_mutex;  // guards `threads` and `stopped`
  std::vector<TEventThread> threads;
  bool stopped = false;

  bool Stopping() {
    std::lock_guard<std::mutex> lock(wake->mutex);
    return wake->stopping;
  }

  // The results of one RunBounded, shared with its task threads, which may
  // outlive it.
  struct TBatch {
    std::vector<TTaskResult> results;
    size_t unfinished = 0;
  };

  // Runs every body on a task thread and waits until all have finished,
  // `timeout_ms` has passed or the runner stops. Unfinished ones come back
  // with `finished` false and their threads detached.
  std::vector<TTaskResult> RunBounded(std::vector<TTaskBody> bodies, int timeout_ms) {
    auto batch = std::make_shared<TBatch>();
    batch->results.resize(bodies.size());
    batch->unfinished = bodies.size();
    std::vector<std::thread> tasks(bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i) {
      try {
        tasks[i] = StartBlocked([shared = wake, batch, i, body = std::move(bodies[i])] {
          TTaskResult result;
          try {
            result = body();
          } catch (const std::exception& e) {
            result = {false, false, std::string("failed: ") + e.what()};
          }
          result.finished = true;
          std::lock_guard<std::mutex> lock(shared->mutex);
          batch->results[i] = std::move(result);
          // Only the last one wakes the waiter: woken by every order's
          // answer, it took the CPU from the tasks still connecting.
          if (--batch->unfinished == 0) shared->cv.notify_all();
        });
      } catch (const std::system_error& e) {
        std::lock_guard<std::mutex> lock(wake->mutex);
        batch->results[i] = {true, false, std::string("no thread for it: ") + e.what()};
        --batch->unfinished;
      }
    }
    std::vector<TTaskResult> copy;
    {
      std::unique_lock<std::mutex> lock(wake->mutex);
      wake->cv.wait_until(lock, TClock::now() + std::chrono::milliseconds(timeout_ms),
                          [&] { return wake->stopping || batch->unfinished == 0; });
      copy = batch->results;
    }
    for (size_t i = 0; i < tasks.size(); ++i) {
      if (!tasks[i].joinable()) continue;
      if (copy[i].finished) {
        tasks[i].join();
      } else {
        tasks[i].detach();
      }
    }
    return copy;
  }

  void Log(const std::string& text) {
    if (world.log) world.log(text);
  }

  void Failed(const TEventPlan& plan, const std::string& job, const std::string& why) {
    Log(plan.name + ": " + job + ": " + why);
  }

  void SendOrders(const TEventPlan& plan, const TJobStep& step) {
    const int timeout =
        std::min(std::max(setup.Server.QsTimeoutConnection, kLeastOrderTimeout), kMostOrderTimeout);
    std::vector<TTaskBody> bodies;
    std::vector<const TPlannedOrder*> sent;
    for (const TPlannedOrder& order : step.orders) {
      if (!order.problem.empty()) {
        Failed(plan, order.job, "not sent: " + order.problem);
        continue;
      }
      TMasterSend send;
      send.host = order.host;
      send.port = order.port;
      send.line = order.frame;
      send.timeout_seconds = timeout;
      bodies.push_back([give = world.give_order, send] {
        const TOrderOutcome outcome = give(send);
        TTaskResult result;
        result.ok = outcome.kind == TOrderOutcome::TKind::kAccepted;
        result.detail = result.ok ? "accepted"
                        : outcome.kind == TOrderOutcome::TKind::kRefused
                            ? "refused (this master is not among the slave's masters)"
                            : "not delivered: " + outcome.detail;
        return result;
      });
      sent.push_back(&order);
    }
    if (bodies.empty()) return;
    const std::vector<TTaskResult> results =
        RunBounded(std::move(bodies), timeout * 1000 + kOrderGraceMs);
    const bool stopped = Stopping();
    for (size_t i = 0; i < results.size(); ++i) {
      std::string detail = results[i].detail;
      if (!results[i].finished) {
        detail = stopped ? "given up: the master server stops"
                         : "not delivered: no greeting within " + std::to_string(timeout) + " s";
      }
      Log(plan.name + ": " + OrderText(*sent[i]) + ": " + detail);
    }
  }

  void Popup(const TEventPlan& plan, const TJobStep& step) {
    std::vector<TTaskBody> bodies;
    bodies.push_back([popup = world.popup, text = plan.name] {
      TTaskResult result;
      result.ok = popup(text, &result.detail);
      return result;
    });
    const TTaskResult result = RunBounded(std::move(bodies), kPopupTimeoutMs)[0];
    if (!result.finished) {
      Failed(plan, step.job, "some terminal did not take the message in time");
    } else if (!result.ok) {
      Failed(plan, step.job, result.detail);
    }
  }

  void Mail(const TEventPlan& plan, const TJobStep& step) {
    TMailMessage message;
    std::string error;
    if (!BuildEventMail(setup.Email, step.parameter, plan.name, HostName(), time(nullptr), &message,
                        &error)) {
      Failed(plan, step.job, "no mail sent: " + error);
      return;
    }
    message.timeout_seconds = kMailTimeoutSeconds;
    std::vector<TTaskBody> bodies;
    bodies.push_back([mail = world.mail, message] {
      TTaskResult result;
      result.ok = mail(message, &result.detail);
      return result;
    });
    const TTaskResult result =
        RunBounded(std::move(bodies), kMailTimeoutSeconds * 1000 + kMailGraceMs)[0];
    if (!result.finished) {
      if (!Stopping()) Failed(plan, step.job, "no mail sent: the server took too long");
    } else if (!result.ok) {
      Failed(plan, step.job, "no mail sent: " + result.detail);
    } else {
      Log(plan.name + ": mail sent to " + step.parameter);
    }
  }

  void LocalScript(const TEventPlan& plan, const TJobStep& step) {
    std::string error;
    if (step.parameter.empty()) {
      Failed(plan, step.job, "no script given");
    } else if (!world.start({step.parameter, std::to_string(plan.code), plan.name}, &error)) {
      Failed(plan, step.job, "not started: " + error);
    }
  }

  void AskUps(const TEventPlan& plan, const std::string& what, bool ok, const std::string& error) {
    if (!ok) Log(plan.name + ": the UPS refused " + what + ": " + error);
  }

  void SwitchUpsOff(const TEventPlan& plan) {
    const TUpsSetup& settings = setup.Ups;
    if (!settings.UpsOffEnabled && !settings.UpsOnEnabled) return;
    if (ups == nullptr) {
      Log(plan.name + ": no UPS link: the UPS is not switched off");
      return;
    }
    std::string error;
    if (settings.UpsOffEnabled) {
      const std::string delay = std::to_string(settings.UpsOffDelay);
      AskUps(plan, "ups.delay.shutdown=" + delay,
             ups->SetVariable("ups.delay.shutdown", delay, &error), error);
    }
    if (settings.UpsOnEnabled) {
      const std::string delay = std::to_string(settings.UpsOnDelay);
      AskUps(plan, "ups.delay.start=" + delay, ups->SetVariable("ups.delay.start", delay, &error),
             error);
    }
    // Switched off for good unless it is to come back with the power.
    if (settings.UpsOffEnabled) {
      const char* command = settings.UpsOnEnabled ? "shutdown.return" : "shutdown.stayoff";
      AskUps(plan, command, ups->InstantCommand(command, &error), error);
    }
  }

  void Shutdown(const TEventPlan& plan, const TJobStep& step) {
    if (!setup.Server.SrvDownEnabled) {
      Failed(plan, step.job, "skipped: the system shutdown is not enabled");
      return;
    }
    if (shutdown_started.exchange(true)) {
      Failed(plan, step.job, "skipped: the shutdown has already begun");
      return;
    }
    Log(plan.name + ": the system shutdown begins");
    RunEvent(kShutdownEventCode, true);
    if (Stopping()) return;
    SwitchUpsOff(plan);
    const std::vector<std::string> command = SplitCommand(master.ShutdownCommand);
    std::string error;
    if (command.empty()) {
      Failed(plan, step.job, "no shutdown command");
    } else if (!world.start(command, &error)) {
      Failed(plan, step.job, "the shutdown command did not start: " + error);
    } else {
      Log(plan.name + ": started " + master.ShutdownCommand);
    }
  }

  void RunStep(const TEventPlan& plan, const TJobStep& step) {
    switch (step.kind) {
      case TJobKind::kOrders:
        SendOrders(plan, step);
        break;
      case TJobKind::kPopup:
        Popup(plan, step);
        break;
      case TJobKind::kLog:
        if (world.log) world.log(plan.name);
        break;
      case TJobKind::kSysLog:
        if (world.system_log) world.system_log(plan.name);
        break;
      case TJobKind::kLocalScript:
        LocalScript(plan, step);
        break;
      case TJobKind::kEmail:
        Mail(plan, step);
        break;
      case TJobKind::kShutdown:
        Shutdown(plan, step);
        break;
      case TJobKind::kUnknown:
        Failed(plan, step.job, "skipped: unknown action");
        break;
    }
  }

  // `own_shutdown`: the jobs of event 12 run by the shutdown itself.
  void RunEvent(int32_t code, bool own_shutdown) {
    const TEventPlan plan = PlanEvent(setup.Ups.Events, code, setup.Server.SrvDownWarningTime);
    for (const TJobStep& step : plan.steps) {
      if (Stopping()) return;
      if (shutdown_started && !own_shutdown && !RunsAfterShutdown(step.kind)) {
        Failed(plan, step.job, "skipped: the system shutdown has begun");
        continue;
      }
      RunStep(plan, step);
    }
  }

  // Joins the event threads that have ended; under threads_mutex.
  void JoinEnded() {
    for (size_t i = threads.size(); i-- > 0;) {
      if (!threads[i].done->load()) continue;
      threads[i].thread.join();
      threads.erase(threads.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
};

TEventRunner::TEventRunner(const TSetupData& setup, const TMasterSettings& master, TUpsLink* ups)
    : impl_(std::make_unique<TImpl>(setup, master, ups)) {}

TEventRunner::~TEventRunner() {
  Stop();
}

void TEventRunner::SetWorld(const TJobWorld& world) {
  TJobWorld& mine = impl_->world;
  if (world.give_order) mine.give_order = world.give_order;
  if (world.popup) mine.popup = world.popup;
  if (world.mail) mine.mail = world.mail;
  if (world.system_log) mine.system_log = world.system_log;
  if (world.start) mine.start = world.start;
  if (world.log) mine.log = world.log;
}

void TEventRunner::Raise(uint8_t code) {
  std::lock_guard<std::mutex> lock(impl_->threads_mutex);
  if (impl_->stopped) return;
  impl_->JoinEnded();
  if (impl_->threads.size() >= kMaxRunningEvents) {
    impl_->Log("UPS event " + std::to_string(code) +
               ": not run: " + std::to_string(kMaxRunningEvents) + " events are still running");
    return;
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  TImpl* impl = impl_.get();
  try {
    std::thread thread = StartBlocked([impl, code, done] {
      try {
        impl->RunEvent(code, false);
      } catch (const std::exception& e) {
        impl->Log("UPS event " + std::to_string(code) + ": ended early: " + e.what());
      }
      done->store(true);
      std::lock_guard<std::mutex> ended(impl->wake->mutex);
      ++impl->wake->events_ended;
      impl->wake->cv.notify_all();
    });
    impl_->threads.push_back({std::move(thread), done});
  } catch (const std::system_error& e) {
    impl_->Log("UPS event " + std::to_string(code) + ": not run: no thread for it: " + e.what());
  }
}

bool TEventRunner::ShutdownStarted() const {
  return impl_->shutdown_started.load();
}

void TEventRunner::Stop() {
  std::vector<TImpl::TEventThread> threads;
  {
    std::lock_guard<std::mutex> lock(impl_->threads_mutex);
    impl_->stopped = true;
    threads.swap(impl_->threads);
  }
  {
    std::lock_guard<std::mutex> lock(impl_->wake->mutex);
    impl_->wake->stopping = true;
    impl_->wake->cv.notify_all();
  }
  for (TImpl::TEventThread& event : threads) event.thread.join();
}

bool TEventRunner::WaitIdle(int timeout_ms) {
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    uint64_t ended = 0;
    {
      std::lock_guard<std::mutex> lock(impl_->wake->mutex);
      ended = impl_->wake->events_ended;
    }
    {
      std::lock_guard<std::mutex> lock(impl_->threads_mutex);
      impl_->JoinEnded();
      if (impl_->threads.empty()) return true;
    }
    std::unique_lock<std::mutex> lock(impl_->wake->mutex);
    if (!impl_->wake->cv.wait_until(lock, deadline,
                                    [&] { return impl_->wake->events_ended != ended; })) {
      return false;
    }
  }
}
