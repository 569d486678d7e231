// The text-screen layer: one current window, the current text attribute byte,
// a cursor addressed by 1-based column and row, blocking key reading, and
// text output through the current window. All of it goes through the
// terminal set with UseTerminal (curses in the program, a fake in tests).
#ifndef VOLTMON_TUI_CRT_H_
#define VOLTMON_TUI_CRT_H_

#include <cstdint>
#include <functional>
#include <string>

#include "tui/terminal.h"

// The smallest terminal every screen fits in. Below it the screen layer shows
// one line asking for a larger terminal and waits for a resize.
constexpr int kMinColumns = 80;
constexpr int kMinLines = 24;

// Makes `terminal` the one all output and input go through (not owned; null
// detaches) and resets the state as at start: the whole screen current,
// text attribute 7, no resize callback.
void UseTerminal(TTerminal* terminal);

// The screen's last column and last row index (columns - 1 and lines - 1).
int ScreenWidth();
int ScreenHeight();

// The current window's begin and last column and row, 1-based.
int WindowLeft();
int WindowTop();
int WindowRight();
int WindowBottom();

// The text attribute: bits 0-2 foreground, bit 3 bright, bits 4-6
// background, bit 7 blink.
uint8_t TextAttr();
void SetTextAttr(uint8_t attr);
// Background := bits 4-6. A foreground of 128 sets only the blink bit, any
// other value replaces bits 0-3 and clears blink.
void SetTextColors(int foreground, int background);
void SetTextColor(int foreground);
void SetTextBackground(int background);

// A window from column x1, row y1 to x2, y2 (1-based screen positions,
// inclusive) becomes current; on failure the current window stays.
void OpenWindow(int x1, int y1, int x2, int y2);
// A w + 1 by h + 1 window centred on the screen (or with its upper left
// corner one past x, y), in the given background, cleared.
void OpenCenteredWindow(int width, int height, int background);
void OpenWindowAt(int x, int y, int width, int height, int background);
// Blanks the current window in the current attribute.
void ClearWindow();

// Cursor to column x, row y of the current window (1-based); a coordinate of
// 0 or beyond the window leaves that coordinate unchanged.
void MoveCursor(int x, int y);

// Writes at the cursor in the current attribute.
void WriteText(const std::string& text);

// Reads a line with echo: printable bytes are stored, backspace, DEL and
// left arrow erase, other control keys are ignored; ENTER or the 1,022nd
// character ends it. The line is returned without line feed. A resize or
// quit ends it early with what was typed.
std::string ReadLineText();

// One key. After a resize the whole screen is current again (any window
// deleted), the screen size is refreshed, the resize callback runs and
// kKeyResize is returned; while the terminal is below the minimum size, one
// line asks for a larger one and nothing else happens until it is resized or
// the program must quit (kKeyQuit).
int ReadKeyCode();

// The terminal bell, heard through the current terminal.
void ScreenBeep();

// Runs `idle` about ten times a second while a key is awaited (empty: never),
// the cursor and the text attribute kept for the key's reader.
void SetIdleCallback(std::function<void()> idle);

// Called after each resize once the new size is known (to recompute layouts).
void SetResizeCallback(std::function<void()> callback);

// True when the screen is at least kMinColumns x kMinLines; otherwise waits
// as ReadKeyCode does and is false only when the program must quit.
bool WaitForUsableSize();

#endif  // VOLTMON_TUI_CRT_H_
