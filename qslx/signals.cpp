// Signal handling of the daemon. The handler touches only the four flags and
// reaps children; everything else reads the flags on the main thread. Every
// thread blocks the handled signals, and the main thread takes them while it
// waits, running the handler itself: the wait ends at once, and no signal
// arrives in the middle of other work.
#include "qslx/signals.h"

#include <errno.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <time.h>

volatile sig_atomic_t g_hang_up = 0;
volatile sig_atomic_t g_terminate = 0;
volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_reaping = 0;

namespace {

const int kBlocked[] = {SIGINT,  SIGQUIT, SIGTRAP,   SIGABRT, SIGBUS,   SIGFPE,  SIGSEGV,
                        SIGUSR2, SIGPIPE, SIGALRM,   SIGCONT, SIGTTIN,  SIGTTOU, SIGURG,
                        SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGWINCH, SIGIO,   SIGSYS};
const int kHandled[] = {SIGHUP, SIGUSR1, SIGTERM, SIGCHLD};
// After a SIGCHLD the wait leaves the next one pending this long, so that
// scripts ending close together are reaped by one wake-up: woken once per
// ended script, the main thread cost a burst of orders half of what the
// daemon spends on them beyond starting their scripts.
constexpr int kReapBatchMs = 10;

timespec Later(const timespec& from, int ms) {
  timespec t = from;
  t.tv_sec += ms / 1000;
  t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The time from `now` to `deadline`; false when it has passed.
bool TimeLeft(const timespec& now, const timespec& deadline, timespec* left) {
  if (!Before(now, deadline)) return false;
  left->tv_sec = deadline.tv_sec - now.tv_sec;
  left->tv_nsec = deadline.tv_nsec - now.tv_nsec;
  if (left->tv_nsec < 0) {
    left->tv_sec -= 1;
    left->tv_nsec += 1000000000L;
  }
  return true;
}

}  // namespace

void DaemonBlockedSignals(sigset_t* set) {
  sigemptyset(set);
  for (int s : kBlocked) sigaddset(set, s);
}

void HandledSignals(sigset_t* set) {
  sigemptyset(set);
  for (int s : kHandled) sigaddset(set, s);
}

void ResetSignalFlags() {
  g_terminate = 0;
  g_stop = 0;
  g_reaping = 0;
  g_hang_up = 1;
}

void QsSignalHandler(int signal) {
  switch (signal) {
    case SIGHUP:
      g_hang_up = 1;
      break;
    case SIGUSR1:
      g_stop = 1;
      break;
    case SIGTERM:
      g_terminate = 1;
      break;
    case SIGCHLD: {
      const int saved = errno;
      g_reaping = 1;
      // One SIGCHLD may stand for several children that ended together.
      for (;;) {
        int status;
        pid_t r = waitpid(-1, &status, WNOHANG);
        if (r > 0) continue;
        if (r < 0 && errno == EINTR) continue;
        break;
      }
      g_reaping = 0;
      errno = saved;
      break;
    }
    default:
      break;
  }
}

bool InstallSignalHandler() {
  struct sigaction action;
  action.sa_handler = QsSignalHandler;
  action.sa_flags = 0;
  HandledSignals(&action.sa_mask);
  for (int s : kHandled) {
    if (sigaction(s, &action, nullptr) != 0) return false;
  }
  return true;
}

void WaitOnePass(int ms) {
  sigset_t handled;
  HandledSignals(&handled);
  sigset_t not_child = handled;
  sigdelset(&not_child, SIGCHLD);
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const timespec deadline = Later(now, ms);
  timespec take_child = now;  // SIGCHLD is taken again from then on
  timespec left;
  while (!g_stop && !g_terminate) {
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (!TimeLeft(now, deadline, &left)) return;
    timespec batch_left;
    const bool batching = TimeLeft(now, take_child, &batch_left);
    if (batching && Before(batch_left, left)) left = batch_left;
    int signal = sigtimedwait(batching ? &not_child : &handled, nullptr, &left);
    if (signal > 0) {
      QsSignalHandler(signal);
      if (signal == SIGCHLD) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        take_child = Later(now, kReapBatchMs);
      }
    } else if (errno != EAGAIN && errno != EINTR) {
      // Never spin: sleep out the rest, the signals staying pending.
      while (nanosleep(&left, &left) != 0 && errno == EINTR) {
      }
      return;
    }
  }
}

int OpenStopSignalFd() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGUSR1);
  sigaddset(&stop, SIGTERM);
  return signalfd(-1, &stop, SFD_NONBLOCK | SFD_CLOEXEC);
}

bool StopSignalPending(int fd) {
  if (fd < 0) return false;
  pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
}

void SleepUnlessStopped(int fd, int ms) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const timespec deadline = Later(now, ms);
  timespec left;
  for (;;) {
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (!TimeLeft(now, deadline, &left)) return;
    pollfd p = {fd, POLLIN, 0};
    int wait_ms = static_cast<int>(left.tv_sec * 1000 + left.tv_nsec / 1000000) + 1;
    int r = poll(&p, fd >= 0 ? 1 : 0, wait_ms);
    if (r > 0) return;
    if (r < 0 && errno != EINTR) return;
  }
}
