// The curses side of the screen layer: starting and ending curses with the
// terminal always given back, and the termination signals turned into the
// kKeyQuit key.
#ifndef VOLTMON_TUI_CURSES_SCREEN_H_
#define VOLTMON_TUI_CURSES_SCREEN_H_

// The program's name in the lines InitScreen and the crash handling print
// ("wkcfg" until set); `ident` must outlive the program's use of the screen.
void SetScreenIdent(const char* ident);

// Starts curses on the terminal and makes it the screen layer's terminal.
// The character set of the user's locale (LC_CTYPE) becomes curses' and
// the text coding of screen_text.h.
// SIGTERM, SIGHUP, SIGINT and SIGQUIT from then on only make every key read
// return kKeyQuit; a program that goes on reading long after it (a loop
// that ignores the code) is ended with DoneScreen and exit status 0.
// A crash, an uncaught exception or exit() restore the terminal's modes.
// ESC answers after 25 ms unless ESCDELAY is set. Waits while the terminal
// is below kMinColumns x kMinLines.
// False when the console cannot run (no terminal on standard input and
// output, TERM missing or unusable: one line on standard error) or must
// quit while waiting for a larger terminal; DoneScreen is then harmless.
bool InitScreen();

// Ends curses and restores the terminal's modes; harmless when not started
// or already ended.
void DoneScreen();

// Writes the terminal's own clear sequence (known once InitScreen ran) when
// standard output is a terminal; for after DoneScreen.
void ClearTerminal();

// True once a termination signal arrived.
bool QuitRequested();

#endif  // VOLTMON_TUI_CURSES_SCREEN_H_
