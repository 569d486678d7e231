// qsmaster: a stand-in master server for administrators and tests. "send"
// gives a daemon one order the way the master server does (read the greeting,
// send one scrambled request line when accepted); "serve-alive" answers the
// daemon's alive checks; "fire" rehearses a configured event and "events"
// lists them. Exchanges are printed descrambled, one line each.

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/settings.h"
#include "tools/fire.h"
#include "tools/master_order.h"
#include "tools/qsmaster_args.h"
#include "wksrv/alive_service.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitError = 2;
constexpr int kRequestTimeoutMs = 10000;
// How often the wait for the last caller looks at the stop flag.
constexpr int kStopCheckMs = 200;

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
  g_stop = 1;
}

int Send(const TMasterSend& send) {
  TOrderOutcome outcome = GiveOrder(send);
  if (!outcome.greeting.empty()) {
    std::printf("greeting: %s\n", outcome.greeting.c_str());
    std::fflush(stdout);
  }
  switch (outcome.kind) {
    case TOrderOutcome::TKind::kAccepted:
      std::printf("sent: %s\n", send.line.c_str());
      return 0;
    case TOrderOutcome::TKind::kRefused:
      return kExitRefused;
    default:
      std::fprintf(stderr, "qsmaster: %s:%u: %s\n", send.host.c_str(), send.port,
                   outcome.detail.c_str());
      return kExitError;
  }
}

bool InstallStopHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  struct sigaction ignore = action;
  ignore.sa_handler = SIG_IGN;
  return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0 &&
         sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

// The master server's own alive service, with the options of the tests.
int ServeAlive(const TMasterServe& serve) {
  if (!InstallStopHandlers()) {
    std::fprintf(stderr, "qsmaster: sigaction: %s\n", std::strerror(errno));
    return kExitError;
  }
  TAliveOptions options;
  options.port = serve.port;
  options.bind = serve.bind;
  options.reply = serve.reply;
  options.silent = serve.silent;
  options.request_timeout_ms = kRequestTimeoutMs;
  options.report = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  TAliveService service;
  int error = service.Start(options);
  if (error != 0) {
    std::fprintf(stderr, "qsmaster: cannot listen on %s:%u: %s\n", serve.bind.c_str(), serve.port,
                 error == EINVAL ? "not an IPv4 address" : std::strerror(error));
    return kExitError;
  }
  std::printf("serving alive checks on %s:%u\n", serve.bind.c_str(), serve.port);
  std::fflush(stdout);
  // The signal handler only sets the flag; it is looked at between waits.
  while (!g_stop && !(serve.count > 0 && service.WaitServed(serve.count, kStopCheckMs))) {
    if (serve.count == 0) {
      struct timespec pause = {0, kStopCheckMs * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  service.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TMasterArgs args;
  std::string error;
  if (!ParseMasterArgs(std::vector<std::string>(argv + 1, argv + argc), &args, &error)) {
    std::fprintf(stderr, "qsmaster: %s\nTry 'qsmaster --help'.\n", error.c_str());
    return kExitError;
  }
  switch (args.mode) {
    case TMasterArgs::TMode::kSend:
      return Send(args.send);
    case TMasterArgs::TMode::kServe:
      return ServeAlive(args.serve);
    case TMasterArgs::TMode::kFire:
      return RunFire(args.fire, ProgramDirectory(argv[0]));
    case TMasterArgs::TMode::kEvents:
      return RunEvents(args.fire, ProgramDirectory(argv[0]));
    case TMasterArgs::TMode::kVersion:
      PrintVersionBlock(std::string("qsmaster - Version ") + kWattkeepVersion);
      return 0;
    case TMasterArgs::TMode::kHelp:
      break;
  }
  std::fputs(MasterUsage().c_str(), stdout);
  return 0;
}
