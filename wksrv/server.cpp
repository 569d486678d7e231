// The life of the master server, on the pattern of the slave daemon: requests
// on the command line are answered in the foreground; a start detaches,
// reads the settings once, and leaves the UPS to the poll loop's thread while
// the main thread only waits for a signal. SIGTERM and SIGUSR1 ("-s") both
// stop it in order: the loop hands nothing on any more, the jobs under way
// are ended, and the stop is logged, all within about a second, since no
// step waits on the UPS or on a slave.
#include "wksrv/server.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>
#include <thread>

#include "common/console.h"
#include "common/lang.h"
#include "common/locale.h"
#include "common/process.h"
#include "common/settings.h"
#include "wkcfg/model/setup.h"
#include "wksrv/alive_service.h"
#include "wksrv/check.h"
#include "wksrv/data_recorder.h"
#include "wksrv/event_runner.h"
#include "wksrv/master_log.h"
#include "wksrv/poll_loop.h"

namespace {

const char kIdent[] = "Wattkeep";
// The last path component of "bin/wksrv", as "/proc" reports the server.
const char kProgramName[] = "wksrv";
// What the loop's thread may still take to notice a stop before the process
// ends without it (a poll of a silent upsd under way).
constexpr int kLoopEndMs = 500;

// Kept from the server and from the programs it starts (Ctrl-C of the
// starter's terminal, a broken connection, timers).
const int kBlocked[] = {SIGINT,  SIGQUIT, SIGTRAP,   SIGABRT, SIGBUS,   SIGFPE,  SIGSEGV,
                        SIGUSR2, SIGPIPE, SIGALRM,   SIGCONT, SIGTTIN,  SIGTTOU, SIGURG,
                        SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGWINCH, SIGIO,   SIGSYS};
// Taken by the main thread's wait; blocked everywhere so no thread gets one.
const int kWaited[] = {SIGHUP, SIGUSR1, SIGTERM};

pid_t FindOtherServer() {
  return FindDaemonPid(kProgramName, 1, getpid());
}

void PrintRefusal(const std::string& ident, const std::string& text) {
  PrintMessage(ident, text);
  PrintMessage("", "");
}

void PrintVersion() {
  PrintMessage("", "Voltmon Manager");
  PrintMessage("", "Wattkeep - Version 1.0.0.0");
  PrintMessage("", kRightsNotice);
  PrintMessage("", "");
}

void PrintUsage() {
  std::fputs(
      "Usage: wksrv [--check | -s | -v | -cr | -h]\n"
      "The Wattkeep master server: watches the UPS through NUT's upsd, raises the\n"
      "configured events and runs their jobs (orders to the slaves, scripts, mail,\n"
      "logs, the own shutdown), and answers the slaves' alive checks.\n"
      "  (none)   start the server in the background\n"
      "  --check  print what the server would watch and every problem; exit 1 on one\n"
      "  -s       stop the running server\n"
      "  -v       print the version\n"
      "  -cr      print the credits\n"
      "  -h, --help  print this text\n"
      "Run as root from its installation: bin/voltmon.cfg beside the program names\n"
      "the installation directory, whose bin/wksrv.cfg holds the settings.\n",
      stdout);
  std::fflush(stdout);
}

void RequestStop() {
  const pid_t pid = FindOtherServer();
  if (pid < 0) {
    PrintRefusal(kIdent, "daemon not in progress");
  } else if (!SendSignal(pid, SIGTERM)) {
    PrintRefusal(kIdent, "operation not permitted");
  }
}

// The settings of the installation around the program; false (after the
// invalid-setup alert) when the suite settings are missing.
bool LoadSettings(const std::string& program_dir, TSetupData* setup, TMasterSettings* master) {
  SetTextFormats();
  if (!ResolveSuiteSettings(program_dir, &setup->InstallPath, &setup->LanguageFile)) {
    PrintInvalidSetup();
    return false;
  }
  SetLanguageFilePath(setup->LanguageFile);
  LoadServerSetup(setup);
  LoadMasterSettings(ServerSetupPath(*setup), master);
  return true;
}

int Check(const std::string& program_dir, const TUpsOpener& open_ups) {
  TSetupData setup;
  TMasterSettings master;
  if (!LoadSettings(program_dir, &setup, &master)) return 1;
  std::unique_ptr<TUpsLink> ups = open_ups(master);
  const TCheckReport report = CheckMaster(setup, master, ups->Poll(true), SystemCheckProbes());
  PrintMessage("", "Configuration: " + ServerSetupPath(setup));
  for (const std::string& line : report.watch) PrintMessage("", line);
  PrintMessage("", "");
  if (report.problems.empty()) {
    PrintMessage("", "No problem found.");
    return 0;
  }
  PrintMessage("", std::to_string(report.problems.size()) + " problem(s):");
  for (const std::string& line : report.problems) PrintMessage("", "- " + line);
  return 1;
}

std::string ErrorText(int error) {
  char buffer[256] = {};
  // The GNU flavour returns the text, which may not be in the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return std::string(text != nullptr ? text : "") + " (error code: " + std::to_string(error) + ")";
}

// The process as the server needs it: the signals blocked on every thread
// (threads made later inherit the mask), the programs it starts with none.
bool PrepareSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kBlocked) sigaddset(&set, s);
  for (int s : kWaited) sigaddset(&set, s);
  static sigset_t none;
  sigemptyset(&none);
  SetChildSignalMask(&none);
  return sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
}

// Returns at SIGTERM or SIGUSR1; SIGHUP changes nothing (the settings are
// read only at start).
void WaitForStop() {
  sigset_t waited;
  sigemptyset(&waited);
  for (int s : kWaited) sigaddset(&waited, s);
  for (;;) {
    const int signal = sigwaitinfo(&waited, nullptr);
    if (signal == SIGTERM || signal == SIGUSR1) return;
  }
}

void Serve(const std::string& program_dir, const TUpsOpener& open_ups) {
  TSetupData setup;
  TMasterSettings master;
  if (!LoadSettings(program_dir, &setup, &master)) return;
  std::unique_ptr<TUpsLink> ups = open_ups(master);
  TEventRunner runner(setup, master, ups.get());
  TDataRecorder recorder(setup);
  TAliveService alive;
  AppendMasterLog(setup, "Wattkeep started, UPS " + master.NutUps);
  if (setup.Server.QsAliveEnabled) {
    const int error = alive.Start(setup.Server.QsAlivePort);
    if (error != 0) {
      // The UPS matters more than the alive answers: the server goes on.
      const std::string text = "alive service not started on port " +
                               std::to_string(setup.Server.QsAlivePort) + ": " + ErrorText(error);
      Beep();
      PrintMessage(kIdent, text);
      AppendMasterLog(setup, text);
    }
  }

  TPollHooks hooks;
  hooks.raise = [&runner](uint8_t code) { runner.Raise(code); };
  hooks.offer = [&recorder](const TUpsReading& reading, time_t now) {
    recorder.Offer(reading, now);
  };
  hooks.log = [&setup](const std::string& text) { AppendMasterLog(setup, text); };
  const int polling_ms = 1000 * (setup.Server.SrvPollingUps > 0 ? setup.Server.SrvPollingUps : 1);
  TPollLoop loop(ups.get(), ShutdownPolicyOf(setup), polling_ms, ListEveryMs(setup.LogData), hooks);
  std::thread polling;
  try {
    polling = std::thread([&loop] { loop.Run(); });
  } catch (const std::system_error& error) {
    PrintAlert(std::string("Wattkeep: no thread for the UPS: ") + error.what());
    AppendMasterLog(setup, "Wattkeep not started: no thread for the UPS");
    return;
  }
  PrintMessage(kIdent, "daemon started");

  WaitForStop();
  PrintMessage(kIdent, "coming down...");
  loop.Stop();
  runner.Stop();
  alive.Stop();
  AppendMasterLog(setup, "Wattkeep stopped");
  PrintMessage(kIdent, "daemon stopped");
  if (loop.WaitFinished(kLoopEndMs)) {
    polling.join();
    return;
  }
  // The loop's thread is still inside a poll of upsd and hands nothing on
  // any more: the process ends around it.
  std::fflush(stdout);
  _exit(0);
}

// Two starts at the same moment would both find no server in "/proc": the
// program file itself is locked for the server's life as well (the lock goes
// to the detached child and ends with it). False when another holds it.
bool LockProgram() {
  const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;  // nothing to lock: the "/proc" test alone serves
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  const int error = errno;
  close(fd);
  return error != EWOULDBLOCK;
}

void Start(const std::string& program_dir, const TUpsOpener& open_ups) {
  const pid_t running = FindOtherServer();
  if (running >= 0 || !LockProgram()) {
    // A server not yet detached is not found; its start says "daemon started".
    PrintRefusal(kIdent, running >= 0
                             ? "daemon already in progress on PID " + std::to_string(running)
                             : "daemon already in progress");
    return;
  }
  if (!PrepareSignals() || daemon(1, 1) != 0) {
    PrintRefusal("", "Error while create Wattkeep daemon: process stopped");
    return;
  }
  PrintMessage(kIdent, "coming up...");
  Serve(program_dir, open_ups);
}

}  // namespace

TWksrvRequest ParseWksrvCommandLine(int argc, const char* const* argv) {
  if (argc < 2 || argv[1] == nullptr) return TWksrvRequest::kStart;
  const std::string first = argv[1];
  if (first == "-v") return TWksrvRequest::kVersion;
  if (first == "-cr") return TWksrvRequest::kCredits;
  if (first == "-s") return TWksrvRequest::kStop;
  if (first == "-h" || first == "--help") return TWksrvRequest::kHelp;
  if (first == "--check") return TWksrvRequest::kCheck;
  return TWksrvRequest::kStart;
}

int WksrvMain(int argc, char** argv, const TUpsOpener& open_ups) {
  const TWksrvRequest request = ParseWksrvCommandLine(argc, argv);
  if (request == TWksrvRequest::kHelp) {
    PrintUsage();
    return 0;
  }
  if (!RequireRootUser()) return request == TWksrvRequest::kCheck ? 1 : 0;
  const std::string program_dir = ProgramDirectory(argc > 0 ? argv[0] : "");
  switch (request) {
    case TWksrvRequest::kHelp:
      break;
    case TWksrvRequest::kVersion:
      PrintVersion();
      break;
    case TWksrvRequest::kCredits:
      PrintCredits();
      break;
    case TWksrvRequest::kStop:
      RequestStop();
      break;
    case TWksrvRequest::kCheck:
      return Check(program_dir, open_ups);
    case TWksrvRequest::kStart:
      Start(program_dir, open_ups);
      break;
  }
  return 0;
}
