// Carries out raised events: each event's configured jobs in their order, on
// threads of their own, so that the poll loop never waits on a job. Every
// job is bounded in time; a job that fails is logged in the master's log and
// the next one runs. Consecutive remote jobs go out at the same time, each
// bounded by QsTimeoutConnection.
#ifndef VOLTMON_WKSRV_EVENT_RUNNER_H_
#define VOLTMON_WKSRV_EVENT_RUNNER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/master_order.h"
#include "wkcfg/model/setup.h"
#include "wksrv/mail.h"
#include "wksrv/master_settings.h"
#include "wksrv/ups_link.h"

// The outside world of the jobs. The defaults are the real ones; tests put
// fakes in. Orders, pop-ups and mails run on threads that a stop may leave
// behind, so those three must use nothing but their arguments.
struct TJobWorld {
  std::function<TOrderOutcome(const TMasterSend&)> give_order;             // GiveOrder
  std::function<bool(const std::string& text, std::string* error)> popup;  // PopupOnTerminals
  std::function<bool(const TMailMessage& message, std::string* error)>
      mail;                                                 // the registered sender
  std::function<void(const std::string& text)> system_log;  // SystemLogLine
  std::function<bool(const std::vector<std::string>& argv, std::string* error)>
      start;                                         // StartProgram
  std::function<void(const std::string& text)> log;  // the master's log (AppendMasterLog)
};

// The real world for `setup` (the log is AppendMasterLog of it).
TJobWorld RealJobWorld(const TSetupData& setup);

class TEventRunner {
 public:
  // `setup`, `master` and `ups` outlive the runner; `ups` may be null (the
  // UPS is then never asked to switch off).
  TEventRunner(const TSetupData& setup, const TMasterSettings& master, TUpsLink* ups);
  ~TEventRunner();  // Stop()

  // Replaces the outside world, member by member (an empty one keeps the
  // real one); before the first Raise.
  void SetWorld(const TJobWorld& world);

  // Starts the jobs of the event with `code`, when one is configured; returns
  // at once. After the own shutdown has started, only logging jobs run.
  void Raise(uint8_t code);
  // Whether a "$SHUTDOWN" job has started.
  bool ShutdownStarted() const;
  // Ends every running job within about a second; later Raise calls do
  // nothing.
  void Stop();
  // Waits up to `timeout_ms` until no event runs; whether none does.
  bool WaitIdle(int timeout_ms);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

#endif  // VOLTMON_WKSRV_EVENT_RUNNER_H_
