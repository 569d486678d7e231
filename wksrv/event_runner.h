// Carries out raised events: each event's configured jobs in their order, on
// threads of their own, so that the poll loop never waits on a job.
#ifndef VOLTMON_WKSRV_EVENT_RUNNER_H_
#define VOLTMON_WKSRV_EVENT_RUNNER_H_

#include <cstdint>
#include <memory>

#include "wkcfg/model/setup.h"
#include "wksrv/master_settings.h"
#include "wksrv/ups_link.h"

class TEventRunner {
 public:
  // `setup`, `master` and `ups` outlive the runner.
  TEventRunner(const TSetupData& setup, const TMasterSettings& master, TUpsLink* ups);
  ~TEventRunner();  // Stop()

  // Starts the jobs of the event with `code`, when one is configured; returns
  // at once. After the own shutdown has started, only logging jobs run.
  void Raise(uint8_t code);
  // Whether a "$SHUTDOWN" job has started.
  bool ShutdownStarted() const;
  // Ends every running job within about a second; later Raise calls do
  // nothing.
  void Stop();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

#endif  // VOLTMON_WKSRV_EVENT_RUNNER_H_
