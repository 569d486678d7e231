// The seam between the toolkit and the terminal: the few drawing and input
// operations that the screen layer needs, so that the widget logic runs the
// same over curses and over a recording fake in the unit tests.
#ifndef VOLTMON_TUI_TERMINAL_H_
#define VOLTMON_TUI_TERMINAL_H_

#include <cstdint>
#include <functional>
#include <string>

// Key codes the widgets act on (curses codes for the special keys).
constexpr int kKeyNone = -1;  // a failed read; every widget ignores it
constexpr int kKeyTab = 9;
constexpr int kKeyEnter = 10;
constexpr int kKeyEsc = 27;
constexpr int kKeyDown = 258;
constexpr int kKeyUp = 259;
constexpr int kKeyLeft = 260;
constexpr int kKeyBackspace = 263;
constexpr int kKeyDelete = 127;
// The terminal changed size: the current window is gone and the caller must
// redraw its screen at the new size.
constexpr int kKeyResize = 410;
// A termination signal arrived: the program must end. Every later read
// returns it again, so nested loops unwind one after the other.
constexpr int kKeyQuit = -2;

class TTerminal {
 public:
  virtual ~TTerminal() = default;

  // Size of the whole screen in columns and lines.
  virtual int Columns() = 0;
  virtual int Lines() = 0;

  // Makes a new window of `columns` x `lines` at the 0-based screen position
  // `column`, `row` the current one, deleting the previous one unless it is
  // the whole screen. False, with the current window kept, when it cannot.
  virtual bool NewWindow(int column, int row, int columns, int lines) = 0;

  // Deletes any window and makes the whole screen current again.
  virtual void UseWholeScreen() = 0;

  // Fills the current window with blanks in the attribute `attr` (the text
  // attribute byte of the screen layer), cursor to its upper left corner.
  virtual void Clear(uint8_t attr) = 0;

  // The cursor, 0-based within the current window.
  virtual void GetCursor(int* column, int* row) = 0;
  virtual void SetCursor(int column, int row) = 0;

  // Writes `text` at the cursor in the attribute `attr` and shows it.
  virtual void Write(const std::string& text, uint8_t attr) = 0;

  // Blocks for one key: a byte, a curses key code, kKeyResize, kKeyQuit or
  // kKeyNone.
  virtual int ReadKey() = 0;

  // The terminal bell.
  virtual void Beep() = 0;

  // Run between the slices of a ReadKey wait, about ten times a second (empty:
  // nothing), so that a screen can show what changed in the background.
  std::function<void()> idle;
};

#endif  // VOLTMON_TUI_TERMINAL_H_
