// The daemon's signals: the mask blocked for the whole process, the one
// handler of SIGHUP, SIGUSR1, SIGTERM and SIGCHLD, and the main thread's wait
// that those signals interrupt.
#ifndef VOLTMON_QSLX_SIGNALS_H_
#define VOLTMON_QSLX_SIGNALS_H_

#include <signal.h>

// Written by the signal handler, read by the main loop.
extern volatile sig_atomic_t g_hang_up;
extern volatile sig_atomic_t g_terminate;
extern volatile sig_atomic_t g_stop;
extern volatile sig_atomic_t g_reaping;

// SIGINT, SIGQUIT, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGUSR2, SIGPIPE,
// SIGALRM, SIGCONT, SIGTTIN, SIGTTOU, SIGURG, SIGXCPU, SIGXFSZ, SIGVTALRM,
// SIGPROF, SIGWINCH, SIGIO and SIGSYS: blocked in the daemon, its threads
// and the scripts it starts.
void DaemonBlockedSignals(sigset_t* set);

// SIGHUP, SIGUSR1, SIGTERM and SIGCHLD.
void HandledSignals(sigset_t* set);

// Clears the stop, terminate and reaping flags and sets the hang-up flag.
void ResetSignalFlags();

// Sets the flag of `signal`; for SIGCHLD reaps every finished child. Keeps
// errno as it found it.
void QsSignalHandler(int signal);

// Installs QsSignalHandler for the four handled signals, without flags (an
// interrupted call is not restarted). False when sigaction fails.
bool InstallSignalHandler();

// A descriptor that is readable while SIGUSR1 or SIGTERM is pending (both
// blocked, as on every thread of the daemon), so that other waits can end
// at once on a stop; it never takes a signal itself, the main loop's wait
// does. -1 when none can be made.
int OpenStopSignalFd();

// True when `fd` of OpenStopSignalFd is readable; false for -1.
bool StopSignalPending(int fd);

// Sleeps `ms` milliseconds or until `fd` of OpenStopSignalFd is readable.
void SleepUnlessStopped(int fd, int ms);

// Waits `ms` milliseconds on the calling thread, which (like every thread)
// must block the four handled signals: the wait takes each one that arrives
// and runs QsSignalHandler for it, so none is missed between a test of the
// flags and the wait. Ends at once when the stop or terminate flag is set;
// after other signals the wait goes on. A SIGCHLD is taken at most once per
// 10 ms: children ending within that time are reaped together.
void WaitOnePass(int ms);

#endif  // VOLTMON_QSLX_SIGNALS_H_
