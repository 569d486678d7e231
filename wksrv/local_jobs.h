// The jobs a master carries out on its own computer: a message on the
// terminals of the logged-in users, a line in the system log, and programs
// started directly, without a shell, never waited for.
#ifndef VOLTMON_WKSRV_LOCAL_JOBS_H_
#define VOLTMON_WKSRV_LOCAL_JOBS_H_

#include <string>
#include <vector>

// The terminal text of a pop-up: a bell, a heading naming the master, the
// text, each line ended by CR LF; control characters of `text` become blanks.
std::string PopupText(const std::string& text, const std::string& when);

// Writes `text` to the terminal device at `path` without waiting and without
// making it the caller's controlling terminal. False with the reason when
// `path` is no terminal (a link or a file is never written) or the write fails.
bool WriteToTerminal(const std::string& path, const std::string& text, std::string* error);

// The terminal devices of the logged-in users, from the login records,
// each once ("/dev/pts/0").
std::vector<std::string> LoggedInTerminals();

// PopupText of `text` on every logged-in terminal. False with the reasons when
// some terminal could not be written; none logged in is no failure.
bool PopupOnTerminals(const std::string& text, std::string* error);

// One line in the system log: facility daemon, ident "wksrv".
void SystemLogLine(const std::string& text);

// Starts `argv[0]` with the arguments `argv`, directly, with no signal
// blocked and the default handling of every signal; a thread of its own
// reaps it when it ends. False with the reason when it cannot be started.
bool StartProgram(const std::vector<std::string>& argv, std::string* error);

// A command line cut at blanks and tabs into words, without any shell rule.
std::vector<std::string> SplitCommand(const std::string& command);

#endif  // VOLTMON_WKSRV_LOCAL_JOBS_H_
