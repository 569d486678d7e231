// Processes: the root check, finding a detached daemon through "/proc",
// starting programs and shell commands, and signals.
#ifndef VOLTMON_COMMON_PROCESS_H_
#define VOLTMON_COMMON_PROCESS_H_

#include <signal.h>
#include <sys/types.h>

#include <string>

#include "common/text.h"

// True when the account name of the real user id equals that of user id 0.
// A user id without an account entry is not root.
bool IsRootUser();

// The lines of a "/proc/<pid>/status" file up to the first empty line, end of
// file or read error; empty when the file cannot be opened.
TTextList ReadProcStatus(const std::string& file);

// The rest of the first line containing `prefix` anywhere, after its first
// prefix-length characters; the empty text when no line holds it.
std::string StatusField(const std::string& prefix, const TTextList& lines);

// The id of a live process (not a zombie) of root (real uid 0) named exactly
// `name` whose parent is `parent` and that is not `exclude` (-1 excludes
// none), or -1.
// `proc_root` is the "/proc" directory to scan (a parameter for tests).
pid_t FindDaemonPid(const std::string& name, pid_t parent, pid_t exclude,
                    const std::string& proc_root = "/proc");

// True when the "Uid:" line of status `lines` gives real uid 0.
bool StatusOfRoot(const TTextList& lines);

// True when the "State:" line of status `lines` says the process has ended
// (zombie "Z" or dead "X"); a status without that line is taken as alive.
bool StatusOfDead(const TTextList& lines);

// Shell mode: system(path + " " + arguments), true when it returned 0.
// Direct mode: starts `path` through posix_spawn with exactly one argument,
// `arguments` whole, in the caller's environment, and returns false at once
// without waiting for it. Safe to call from any thread: the child runs none
// of the caller's code before the exec. A program that cannot be executed
// leaves no child behind (posix_spawn reports the failure and collects it;
// under an emulator that turns the spawn into a fork, the child ends at once
// with status 127); the result is false either way.
// With `must_exist` (the console's rule) it returns false without running
// anything when nothing exists at `path`.
bool RunProgram(const std::string& path, const std::string& arguments, bool shell,
                bool must_exist = false);

// Direct mode: the signal mask a started program gets, whatever the mask of
// the starting thread. nullptr (the default) keeps the inherited mask. Set
// once at start, before any thread runs.
void SetChildSignalMask(const sigset_t* mask);

// kill(pid, signal) == 0.
bool SendSignal(pid_t pid, int signal);

#endif  // VOLTMON_COMMON_PROCESS_H_
