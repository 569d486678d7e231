// Running programs under test with a time limit, finding processes through
// /proc, and bounded waiting for a condition.
#ifndef VOLTMON_TESTS_SUPPORT_SUBPROCESS_H_
#define VOLTMON_TESTS_SUPPORT_SUBPROCESS_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct TRunOptions {
  std::string cwd;               // empty: the current directory
  std::string stdout_path;       // appended to when set (a detached daemon keeps
                                 // writing there); otherwise captured
  int stderr_fd = -1;            // >= 0: standard error goes there, not captured
  bool merge_stderr = false;     // standard error goes where standard output goes
  std::vector<std::string> env;  // "NAME=value" set, "NAME" removed in the child
  int uid = -1;                  // >= 0: run with this user and group id
  int timeout_ms = 10000;        // the program is killed when it runs longer
};

struct TRunResult {
  bool started = false;    // fork and exec worked
  bool timed_out = false;  // killed after the time limit
  int exit_code = -1;      // -1 unless it exited normally
  int signal = 0;          // the signal that ended it, 0 if none
  std::string out;         // captured standard output (not with stdout_path)
  std::string err;         // captured standard error
};

// Runs `argv` (argv[0] a path) with standard input from /dev/null and waits
// for it, never longer than the time limit. Output is captured through
// anonymous files, so a child that leaves a descendant holding them open does
// not block the wait.
TRunResult RunCommand(const std::vector<std::string>& argv, const TRunOptions& options = {});

// Starts `argv` (argv[0] a path) in the background with standard input from
// /dev/null, set up as RunCommand does; standard output goes to
// `options.stdout_path` (appended) or /dev/null, standard error where
// `options` says or to /dev/null. `timeout_ms` is not used: the caller ends
// the process with EndProcess. The process id, or -1 when it could not start.
pid_t StartBackground(const std::vector<std::string>& argv, const TRunOptions& options = {});

// Ends the child `pid`: SIGTERM, SIGKILL when it is still there after
// `grace_ms`, then reaps it. Its wait status, or -1 when it was not a child.
int EndProcess(pid_t pid, int grace_ms = 3000);

// Polls `done` every `poll_ms` until it is true or `timeout_ms` has passed;
// true when it became true.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms, int poll_ms = 20);

// The ids of the live (not zombie) processes whose /proc "Name:" is exactly
// `name`, in /proc order.
std::vector<pid_t> ProcessesNamed(const std::string& name);

// The "PPid:" of a process; -1 when it is gone.
pid_t ParentOf(pid_t pid);

// The processes whose parent is `pid`, zombies included.
std::vector<pid_t> ChildrenOf(pid_t pid);

// The live (not zombie) processes of session `session`.
std::vector<pid_t> ProcessesOfSession(pid_t session);

// True when `pid` is gone or only a zombie.
bool ProcessGone(pid_t pid);

// A field of /proc/<pid>/status ("SigBlk" etc.) without its blanks; empty
// when the process or the field is missing.
std::string ProcStatusField(pid_t pid, const std::string& field);

#endif  // VOLTMON_TESTS_SUPPORT_SUBPROCESS_H_
