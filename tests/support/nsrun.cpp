// nsrun: runs one command inside namespaces of its own, so that a test can
// start daemons, listen on fixed ports and mount over system directories
// without touching the host or other tests running at the same time.
//
// The process unshares the mount (and, by default, the PID and network)
// namespaces, then forks: the child is PID 1 of the new PID namespace, mounts
// a fresh /proc, starts the command and reaps every process that ends in the
// namespace. When the command exits, PID 1 kills everything still there, so
// that detached daemons cannot outlive the test. The outer process forwards
// termination signals to PID 1 and exits with the command's status. Signals
// are taken synchronously through a signalfd; nothing runs in a handler.

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/clock.h"
#include "tests/support/nsrun_options.h"

namespace {

constexpr int kExitFailure = 125;
// After forwarding a termination signal the command gets this long to end.
constexpr int64_t kGraceMs = 5000;

void Fail(const char* what) {
  std::fprintf(stderr, "nsrun: %s: %s\n", what, std::strerror(errno));
}

// fork(), saying why when it fails.
pid_t ForkOrSay() {
  pid_t pid = fork();
  if (pid < 0) Fail("fork");
  return pid;
}

bool MakeDirs(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string prefix = path.substr(0, pos);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "nsrun: mkdir %s: %s\n", prefix.c_str(), std::strerror(errno));
      return false;
    }
  }
  return true;
}

bool BringLoopbackUp() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Fail("socket");
    return false;
  }
  struct ifreq ifr;
  std::memset(&ifr, 0, sizeof ifr);
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
  if (ok) {
    ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
    ok = ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
  }
  if (!ok) Fail("bringing up lo");
  close(fd);
  return ok;
}

bool MountOverlay(const TNsrunOverlay& overlay) {
  std::string upper = overlay.upper_base + "/upper";
  std::string work = overlay.upper_base + "/work";
  if (!MakeDirs(upper) || !MakeDirs(work)) return false;
  std::string data = "lowerdir=" + overlay.dir + ",upperdir=" + upper + ",workdir=" + work;
  if (mount("overlay", overlay.dir.c_str(), "overlay", 0, data.c_str()) != 0) {
    std::fprintf(stderr, "nsrun: overlay on %s: %s\n", overlay.dir.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kExitFailure;
}

// The signals taken through the signalfd; blocked while nsrun runs and
// restored for the command.
sigset_t SupervisedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&set, sig);
  return set;
}

[[noreturn]] void ExecCommand(const std::vector<std::string>& command, const sigset_t& old_mask) {
  if (sigprocmask(SIG_SETMASK, &old_mask, nullptr) != 0) {
    Fail("sigprocmask");
    _exit(kExitFailure);
  }
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  int error = errno;
  std::fprintf(stderr, "nsrun: cannot execute %s: %s\n", argv[0], std::strerror(error));
  _exit(error == ENOENT ? 127 : 126);
}

// Waits for `child` to end, forwarding termination signals to it, enforcing
// `timeout_ms` (0: none) and ending it when `death_fd` (the outer runner's
// pipe, -1: none) reports that the outer runner is gone. As PID 1 it also
// reaps every orphan. Returns the child's wait status.
int Supervise(pid_t child, int signal_fd, int death_fd, int64_t timeout_ms, bool as_init) {
  const int64_t start = NowMs();
  int64_t kill_at = timeout_ms > 0 ? start + timeout_ms : -1;
  bool killed = false;
  for (;;) {
    for (;;) {
      int status = 0;
      pid_t pid = waitpid(as_init ? -1 : child, &status, WNOHANG);
      if (pid == child) return status;
      if (pid > 0) continue;
      if (pid < 0 && errno == EINTR) continue;
      if (pid < 0 && errno != ECHILD) Fail("waitpid");
      break;
    }
    if (kill_at >= 0 && NowMs() >= kill_at && !killed) {
      if (timeout_ms > 0 && NowMs() - start >= timeout_ms) {
        std::fprintf(stderr, "nsrun: time limit of %lld s exceeded, killing the command\n",
                     static_cast<long long>(timeout_ms / 1000));
      }
      if (kill(child, SIGKILL) != 0 && errno != ESRCH) Fail("kill");
      killed = true;
    }
    int wait_ms = -1;
    if (kill_at >= 0 && !killed)
      wait_ms = static_cast<int>(std::max<int64_t>(0, kill_at - NowMs()));
    struct pollfd fds[2] = {{signal_fd, POLLIN, 0}, {death_fd, POLLIN, 0}};
    int ready = poll(fds, death_fd >= 0 ? 2 : 1, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
      return -1;
    }
    if (fds[0].revents & POLLIN) {
      struct signalfd_siginfo info;
      ssize_t n = read(signal_fd, &info, sizeof info);
      if (n < 0 && errno != EINTR && errno != EAGAIN) {
        Fail("reading signals");
        return -1;
      }
      if (n == static_cast<ssize_t>(sizeof info) && info.ssi_signo != SIGCHLD) {
        if (kill(child, static_cast<int>(info.ssi_signo)) != 0 && errno != ESRCH) Fail("kill");
        int64_t grace_end = NowMs() + kGraceMs;
        if (kill_at < 0 || grace_end < kill_at) kill_at = grace_end;
      }
    }
    if (death_fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !killed) {
      if (kill(child, SIGKILL) != 0 && errno != ESRCH) Fail("kill");
      killed = true;
    }
  }
}

// PID 1 of the new namespace: everything still alive when the command ends
// is killed and reaped, so nothing outlives the run.
void KillAndReapAll() {
  for (int rounds = 0; rounds < 1000; ++rounds) {
    if (kill(-1, SIGKILL) != 0 && errno != ESRCH) Fail("kill -1");
    int status = 0;
    pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0 && errno == ECHILD) return;
    if (pid < 0 && errno != EINTR) {
      Fail("waitpid");
      return;
    }
  }
}

int SignalFd(const sigset_t& set) {
  int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd < 0) Fail("signalfd");
  return fd;
}

// Starts the command below the calling process and supervises it.
int RunCommand(const TNsrunOptions& options, const sigset_t& old_mask, int death_fd, bool as_init) {
  int signal_fd = SignalFd(SupervisedSignals());
  if (signal_fd < 0) return kExitFailure;
  pid_t child = ForkOrSay();
  if (child < 0) return kExitFailure;
  if (child == 0) {
    close(signal_fd);
    // Without a PID namespace nothing else would end the command if nsrun
    // were killed.
    if (!as_init && prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) Fail("prctl");
    ExecCommand(options.command, old_mask);
  }
  int status = Supervise(child, signal_fd, death_fd, options.timeout_seconds * 1000, as_init);
  close(signal_fd);
  if (as_init) KillAndReapAll();
  return status < 0 ? kExitFailure : ExitCodeOf(status);
}

int RunAsInit(const TNsrunOptions& options, const sigset_t& old_mask, int death_fd) {
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) Fail("prctl");
  if (mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    Fail("mounting /proc");
    return kExitFailure;
  }
  return RunCommand(options, old_mask, death_fd, true);
}

int Run(const TNsrunOptions& options) {
  int flags = CLONE_NEWNS;
  if (options.new_pid) flags |= CLONE_NEWPID;
  if (options.new_net) flags |= CLONE_NEWNET;
  if (unshare(flags) != 0) {
    Fail("unshare (nsrun needs root)");
    return kExitFailure;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    Fail("making mounts private");
    return kExitFailure;
  }
  if (options.new_net && !BringLoopbackUp()) return kExitFailure;
  for (const TNsrunOverlay& overlay : options.overlays) {
    if (!MountOverlay(overlay)) return kExitFailure;
  }

  sigset_t supervised = SupervisedSignals();
  sigset_t old_mask;
  if (sigprocmask(SIG_BLOCK, &supervised, &old_mask) != 0) {
    Fail("sigprocmask");
    return kExitFailure;
  }
  if (!options.new_pid) return RunCommand(options, old_mask, -1, false);

  int death_pipe[2];
  if (pipe2(death_pipe, O_CLOEXEC) != 0) {
    Fail("pipe");
    return kExitFailure;
  }
  int signal_fd = SignalFd(supervised);
  if (signal_fd < 0) return kExitFailure;
  pid_t init = ForkOrSay();
  if (init < 0) return kExitFailure;
  if (init == 0) {
    close(signal_fd);
    close(death_pipe[1]);
    _exit(RunAsInit(options, old_mask, death_pipe[0]));
  }
  close(death_pipe[0]);
  int status = Supervise(init, signal_fd, -1, 0, false);
  close(signal_fd);
  close(death_pipe[1]);
  // Children of this process land in the new PID namespace, where no fork
  // succeeds once PID 1 has gone: nothing that forks may run at exit (a
  // sanitizer's leak check does).
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status < 0 ? kExitFailure : ExitCodeOf(status));
}

}  // namespace

int main(int argc, char** argv) {
  TNsrunOptions options;
  std::string error;
  if (!ParseNsrunArgs(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "nsrun: %s\nTry 'nsrun --help'.\n", error.c_str());
    return kExitFailure;
  }
  if (options.help) {
    std::fputs(NsrunUsage().c_str(), stdout);
    return 0;
  }
  return Run(options);
}
