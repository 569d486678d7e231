// The life of the daemon. Requests on the command line are answered in the
// foreground; a start detaches, initialises, and then loops on the main
// thread, one pass per 10 seconds, until SIGUSR1 (orderly stop, logged) or
// SIGTERM (immediate end). The four handled signals are blocked on every
// thread and taken only while the main thread waits, so a stop takes effect
// at once and no flag is missed.
#include "qslx/daemon.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <new>

#include "common/clock.h"
#include "common/console.h"
#include "common/lang.h"
#include "common/locale.h"
#include "common/log.h"
#include "common/process.h"
#include "common/settings.h"
#include "qslx/globals.h"
#include "qslx/signals.h"

namespace {

const char kIdent[] = "QS System";
// The last path component of "bin/qslx", as "/proc" reports a detached daemon.
const char kProgramName[] = "qslx";
constexpr int kPassMs = 10000;
constexpr int kServerNotCreated = 100002;

// Both strerror_r flavours, whichever the C library declares.
[[maybe_unused]] std::string ErrorDescription(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}
[[maybe_unused]] std::string ErrorDescription(const char* result, const char*) {
  return result != nullptr ? result : "";
}

// The running daemon: adopted by process 1, and never this very process,
// which, started as a direct child of process 1 (the shell of a container,
// say), would otherwise take itself for the running daemon.
pid_t FindOtherDaemon() {
  return FindDaemonPid(kProgramName, 1, getpid());
}

void PrintVersion() {
  PrintVersionBlock(std::string("QS System - Version ") + kQsSystemVersion);
}

void PrintUsage() {
  std::fputs(
      "Usage: qslx [-s | -v | -cr | -h]\n"
      "The QS System daemon: carries out the orders of its master servers (shut\n"
      "down, show a message, run a custom script) and logs them.\n"
      "  (none)  start the daemon in the background\n"
      "  -s      stop the running daemon\n"
      "  -v      print the version\n"
      "  -cr     print the credits\n"
      "  -h, --help  print this text\n"
      "Run as root from its installation: bin/voltmon.cfg beside the program names\n"
      "the installation directory (normally /usr/vantrel/voltmon/), whose\n"
      "bin/qslx.cfg holds the daemon's settings.\n",
      stdout);
  std::fflush(stdout);
}

// PrintMessage followed by the empty line that ends every refusal.
void PrintRefusal(const std::string& ident, const std::string& text) {
  PrintMessage(ident, text);
  PrintMessage("", "");
}

void RequestStop() {
  pid_t pid = FindOtherDaemon();
  if (pid < 0) {
    PrintRefusal(kIdent, "daemon not in progress");
  } else if (!SendSignal(pid, SIGUSR1)) {
    PrintRefusal(kIdent, "operation not permitted");
  }
}

bool Initialise(const std::string& program_dir) {
  TQsDaemonState& d = QsDaemon();
  SetTextFormats();
  if (!LoadQsSetup(program_dir, &d.setup)) {
    PrintInvalidSetup();
    return false;
  }
  SetLanguageFilePath(d.setup.LanguageFile);
  d.events.reset(new TQsEventLog(d.setup));
  d.server_events.reset(new TQsThrottledEvents(d.events.get()));

  try {
    d.server.reset(new TQshTcpServer(d.setup, &d.AllowedPeers, d.server_events.get(), StartScript));
  } catch (...) {
    ReportStartupError(kServerNotCreated, "");
    return false;
  }
  int error = d.server->Start(d.setup.ListenPort);
  if (error != 0) {
    ReportStartupError(error, std::to_string(d.setup.ListenPort));
    return false;
  }
  d.alive.Arm(d.setup.Alive.Enabled);
  d.events->WriteEvent("LogStart", {""});
  return true;
}

void StopSequence() {
  TQsDaemonState& d = QsDaemon();
  if (d.server) d.server->Stop();
  d.server_events->FlushAll();
  d.alive.Disarm();
  d.events->WriteEvent("LogStop", {""});
  d.server.reset();
  d.setup.Addresses.clear();
  d.AllowedPeers.Clear();
}

// Returns when the daemon is to end without the stop sequence.
void MainLoop() {
  TQsDaemonState& d = QsDaemon();
  // The alive check's waits end as soon as a stop or terminate signal is
  // pending; the next wait of the loop then takes it.
  const int stop_fd = OpenStopSignalFd();
  TQsTcpAliveClient client(stop_fd);
  auto sleep = [stop_fd](int ms) { SleepUnlessStopped(stop_fd, ms); };
  auto stop_requested = [stop_fd] { return StopSignalPending(stop_fd); };
  for (;;) {
    if (g_hang_up) g_hang_up = 0;
    if (g_stop) {
      PrintMessage(kIdent, "coming down...");
      StopSequence();
      PrintMessage(kIdent, "daemon stopped");
      return;
    }
    if (g_terminate) return;
    WaitOnePass(kPassMs);
    d.server_events->FlushEnded();
    // A raised flag ends the daemon next; a check now would only delay it.
    if (!g_stop && !g_terminate) {
      AliveTick(&d.alive, d.setup, &client, d.events.get(), StartScript, sleep, stop_requested);
    }
    if (g_terminate) return;
  }
}

void StartDaemon(const std::string& program_dir) {
  pid_t running = FindOtherDaemon();
  if (running >= 0) {
    PrintRefusal(kIdent, "daemon already in progress on PID " + std::to_string(running));
    return;
  }
  ResetSignalFlags();
  sigset_t blocked;
  DaemonBlockedSignals(&blocked);
  // Without its signals the daemon could neither be stopped nor reap.
  if (sigprocmask(SIG_BLOCK, &blocked, nullptr) != 0 || !InstallSignalHandler() ||
      daemon(1, 1) != 0) {
    PrintRefusal("", "Error while create QS System daemon: process stopped");
    return;
  }
  PrintMessage(kIdent, "coming up...");

  // Scripts get the process mask, whatever the forking thread blocks.
  SetChildSignalMask(&blocked);
  sigset_t handled;
  HandledSignals(&handled);
  if (sigprocmask(SIG_BLOCK, &handled, nullptr) != 0) return;

  if (!Initialise(program_dir)) return;
  PrintMessage(kIdent, "daemon started");
  MainLoop();
  if (g_stop) return;
  // SIGTERM: end at once, the server still listening, as the daemon never
  // ran its stop sequence.
  fflush(stdout);
  _exit(0);
}

}  // namespace

TQsRequest ParseQsCommandLine(int argc, const char* const* argv) {
  if (argc < 2 || argv[1] == nullptr) return TQsRequest::kStart;
  const std::string first = argv[1];
  if (first == "-v") return TQsRequest::kVersion;
  if (first == "-cr") return TQsRequest::kCredits;
  if (first == "-s") return TQsRequest::kStop;
  if (first == "-h" || first == "--help") return TQsRequest::kHelp;
  return TQsRequest::kStart;
}

std::string StartupErrorText(int code, const std::string& parameter) {
  std::string text = LangText(std::to_string(code), "ERRORS");
  if (!text.empty()) {
    if (!parameter.empty()) text = ReplaceParam(text, parameter);
    return "Error Code: " + std::to_string(code) + " - " + text + " " +
           LangText("100001", "ERRORS");
  }
  char buffer[256] = {};
  std::string description = ErrorDescription(strerror_r(code, buffer, sizeof buffer), buffer);
  return description + " (error code: " + std::to_string(code) + ")";
}

void ReportStartupError(int code, const std::string& parameter) {
  Beep();
  PrintAlert(StartupErrorText(code, parameter));
}

int QsMain(int argc, char** argv) {
  const TQsRequest request = ParseQsCommandLine(argc, argv);
  // The usage needs no installation and no root.
  if (request == TQsRequest::kHelp) {
    PrintUsage();
    return 0;
  }
  if (!RequireRootUser()) return 0;
  switch (request) {
    case TQsRequest::kHelp:
      break;
    case TQsRequest::kVersion:
      PrintVersion();
      break;
    case TQsRequest::kCredits:
      PrintCredits();
      break;
    case TQsRequest::kStop:
      RequestStop();
      break;
    case TQsRequest::kStart:
      StartDaemon(ProgramDirectory(argc > 0 ? argv[0] : ""));
      break;
  }
  return 0;
}
