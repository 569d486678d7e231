// Processes: the root check, finding a detached daemon through "/proc",
// starting programs and shell commands, and signals.
#ifndef VOLTMON_COMMON_PROCESS_H_
#define VOLTMON_COMMON_PROCESS_H_

#include <signal.h>
#include <sys/types.h>

#include <string>

#include "common/text.h"

// True when the account name of the real user id equals that of user id 0.
// A user id without an account entry is not root. When false and
// `show_message`, beeps and prints the root message and an empty line.
bool IsRootUser(bool show_message);

// The lines of a "/proc/<pid>/status" file up to the first empty line, end of
// file or read error; empty when the file cannot be opened.
TStringList ReadProcStatus(const std::string& file);

// The rest of the first line containing `prefix` anywhere, after its first
// prefix-length characters; the empty text when no line holds it.
std::string StatusField(const std::string& prefix, const TStringList& lines);

// The id of a process of root (real uid 0) named exactly `name` whose parent
// is process 1, or -1. `proc_root` is the "/proc" directory to scan (a
// parameter for tests).
pid_t FindDaemonPid(const std::string& name, const std::string& proc_root = "/proc");

// True when the "Uid:" line of status `lines` gives real uid 0.
bool StatusOfRoot(const TStringList& lines);

// Shell mode: system(path + " " + arguments), true when it returned 0.
// Direct mode: starts a child that executes `path` with exactly one
// argument, `arguments` whole, in the caller's environment; the caller
// returns false at once without waiting. Safe to call from any thread: the
// child runs none of the caller's code before the exec, and a program that
// cannot be started ends the child with status 127.
bool RunProgram(const std::string& path, const std::string& arguments, bool shell);

// The console's build: RunProgram returns false without running anything
// when nothing exists at the path. Off by default; set once at start.
void SetRunProgramExistenceTest(bool enabled);

// Direct mode: the signal mask a started program gets, whatever the mask of
// the starting thread. nullptr (the default) keeps the inherited mask. Set
// once at start, before any thread runs.
void SetChildSignalMask(const sigset_t* mask);

// kill(pid, signal) == 0.
bool SendSignal(pid_t pid, int signal);

#endif  // VOLTMON_COMMON_PROCESS_H_
