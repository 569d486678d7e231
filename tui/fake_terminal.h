// A terminal for tests: keeps the screen as a grid of cells (the bytes of the
// character shown there, as the text coding of screen_text.h splits them;
// the second cell of a wide character empty) and attribute bytes, records every write with its
// window position, answers key reads from a script and counts the bells. When the script runs out
// it answers kKeyQuit, so a widget under test can never wait forever.
#ifndef VOLTMON_TUI_FAKE_TERMINAL_H_
#define VOLTMON_TUI_FAKE_TERMINAL_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tui/terminal.h"

class TFakeTerminal : public TTerminal {
 public:
  struct TWrite {
    int column;  // 1-based within the window written to
    int row;
    std::string text;
    uint8_t attr;
  };
  struct TWindow {
    int column;  // 0-based on the screen
    int row;
    int columns;
    int lines;
  };

  TFakeTerminal(int columns = 80, int lines = 25);

  // Key script.
  void AddKeys(const std::vector<int>& keys);
  void AddText(const std::string& text);
  // When this point of the script is read the screen becomes columns x lines
  // and the read answers kKeyResize.
  void AddResize(int columns, int lines);
  // When this point of the script is reached the screen's lines are kept
  // (see snapshots()) and the next scripted key is read at once.
  void AddSnapshot();
  // Makes NewWindow fail from now on.
  void FailNewWindows() { fail_windows_ = true; }

  // Row `row` (1-based) of the screen as shown, and the attribute of a cell.
  std::string ScreenRow(int row) const;
  uint8_t AttrAt(int column, int row) const;
  // True when some line of the screen contains `text`.
  bool Shows(const std::string& text) const;

  const std::vector<TWrite>& writes() const { return writes_; }
  const std::vector<TWindow>& windows() const { return windows_; }
  const TWindow& window() const { return window_; }
  int beeps() const { return beeps_; }
  // The screens kept by AddSnapshot, in script order.
  const std::vector<std::vector<std::string>>& snapshots() const { return snapshots_; }
  int keys_left() const { return static_cast<int>(script_.size()); }
  int cursor_column() const { return cursor_column_; }
  int cursor_row() const { return cursor_row_; }
  void ClearRecord() {
    writes_.clear();
    windows_.clear();
    beeps_ = 0;
  }

  int Columns() override { return columns_; }
  int Lines() override { return lines_; }
  bool NewWindow(int column, int row, int columns, int lines) override;
  void UseWholeScreen() override;
  void Clear(uint8_t attr) override;
  void GetCursor(int* column, int* row) override;
  void SetCursor(int column, int row) override;
  void Write(const std::string& text, uint8_t attr) override;
  int ReadKey() override;
  void Beep() override { ++beeps_; }

 private:
  struct TScripted {
    int key;
    int columns;
    int lines;
  };
  void Put(const std::string& character, int width, uint8_t attr);
  std::string RowText(int index) const;

  int columns_;
  int lines_;
  std::vector<std::vector<std::string>> cells_;
  std::vector<std::vector<uint8_t>> attrs_;
  TWindow window_;
  int cursor_column_ = 0;
  int cursor_row_ = 0;
  bool fail_windows_ = false;
  std::deque<TScripted> script_;
  std::vector<TWrite> writes_;
  std::vector<TWindow> windows_;
  int beeps_ = 0;
  std::vector<std::vector<std::string>> snapshots_;
};

// While it lives: LC_CTYPE "C.UTF-8" and the UTF-8 text coding, as the
// console runs in a UTF-8 locale; both put back afterwards. available() is
// false when the C library has no such locale (nothing is changed then).
class TUtf8Coding {
 public:
  TUtf8Coding();
  ~TUtf8Coding();
  TUtf8Coding(const TUtf8Coding&) = delete;
  TUtf8Coding& operator=(const TUtf8Coding&) = delete;
  bool available() const { return available_; }

 private:
  bool available_ = false;
  std::string old_locale_;
};

#endif  // VOLTMON_TUI_FAKE_TERMINAL_H_
