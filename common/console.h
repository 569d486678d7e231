// Plain-line console output shared by the programs, with the terminal bell.
#ifndef VOLTMON_COMMON_CONSOLE_H_
#define VOLTMON_COMMON_CONSOLE_H_

#include <string>

// BEL to standard error if it is a terminal, else to standard output if that
// is one, else nothing.
void Beep();

// Beep, then the text as one line.
void PrintAlert(const std::string& text);

// "ident: text", or the text alone when the ident is empty. Flushed, so that
// a detached daemon's lines reach its starter in order.
void PrintMessage(const std::string& ident, const std::string& text);

// The alert "Invalid setup. Pls. uninstall and then install this software again."
void PrintInvalidSetup();

// The credits line, then an empty line.
void PrintCredits();

// IsRootUser; when false, also beeps and prints the root message and an
// empty line.
bool RequireRootUser();

// Runs the shell command "clear".
void ClearScreen();

// The rights notice line of the "-v" blocks and banners.
extern const char kRightsNotice[];

// The versions of the suite's modules that "-v" prints: the master module's
// ("Wattkeep") and the slave module's ("QS System").
extern const char kWattkeepVersion[];
extern const char kQsSystemVersion[];

// The "-v" block: "Voltmon Manager", `module_line`, the rights notice and an
// empty line.
void PrintVersionBlock(const std::string& module_line);

#endif  // VOLTMON_COMMON_CONSOLE_H_
