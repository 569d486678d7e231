// The daemon's entry: command line, single-instance rule, detaching, the
// start and stop sequences and the main loop.
#ifndef VOLTMON_QSLX_DAEMON_H_
#define VOLTMON_QSLX_DAEMON_H_

#include <string>

enum class TQsRequest { kVersion, kCredits, kStop, kHelp, kStart };

// The request of the first argument, compared case-sensitively: "-v", "-cr",
// "-s", "-h" or "--help"; anything else, or none, starts the daemon.
TQsRequest ParseQsCommandLine(int argc, const char* const* argv);

// The startup error line for `code`: "Error Code: <code> - <text> <trailer>"
// when section "ERRORS" of the language file has a text for it (its "$"
// filled with `parameter` when that is not empty; the trailer is the text of
// "100001"), otherwise the system's description "<text> (error code: <code>)".
std::string StartupErrorText(int code, const std::string& parameter);

// Beeps and prints StartupErrorText as an alert.
void ReportStartupError(int code, const std::string& parameter);

// The whole program; always 0.
int QsMain(int argc, char** argv);

#endif  // VOLTMON_QSLX_DAEMON_H_
