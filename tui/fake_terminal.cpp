// The recording terminal of the unit tests. Windows are rectangles on one
// screen grid, as curses shows them: a later window covers an earlier one.
#include "tui/fake_terminal.h"

#include <locale.h>

#include "tui/screen_text.h"

TFakeTerminal::TFakeTerminal(int columns, int lines)
    : columns_(columns),
      lines_(lines),
      cells_(lines, std::vector<std::string>(columns, " ")),
      attrs_(lines, std::vector<uint8_t>(columns, 7)),
      window_{0, 0, columns, lines} {}

void TFakeTerminal::AddKeys(const std::vector<int>& keys) {
  for (int key : keys) script_.push_back({key, 0, 0});
}

void TFakeTerminal::AddText(const std::string& text) {
  for (unsigned char c : text) script_.push_back({c, 0, 0});
}

void TFakeTerminal::AddResize(int columns, int lines) {
  script_.push_back({kKeyResize, columns, lines});
}

namespace {

// A scripted point that answers no key.
constexpr int kSnapshotMark = -1000;

}  // namespace

void TFakeTerminal::AddSnapshot() {
  script_.push_back({kSnapshotMark, 0, 0});
}

std::string TFakeTerminal::RowText(int index) const {
  std::string text;
  for (const std::string& cell : cells_[index]) text += cell;
  return text;
}

std::string TFakeTerminal::ScreenRow(int row) const {
  return row >= 1 && row <= lines_ ? RowText(row - 1) : std::string();
}

uint8_t TFakeTerminal::AttrAt(int column, int row) const {
  if (row < 1 || row > lines_ || column < 1 || column > columns_) return 0;
  return attrs_[row - 1][column - 1];
}

bool TFakeTerminal::Shows(const std::string& text) const {
  for (int i = 0; i < lines_; ++i) {
    if (RowText(i).find(text) != std::string::npos) return true;
  }
  return false;
}

bool TFakeTerminal::NewWindow(int column, int row, int columns, int lines) {
  if (fail_windows_ || column < 0 || row < 0 || columns < 1 || lines < 1 ||
      column + columns > columns_ || row + lines > lines_) {
    return false;
  }
  window_ = {column, row, columns, lines};
  windows_.push_back(window_);
  cursor_column_ = 0;
  cursor_row_ = 0;
  return true;
}

void TFakeTerminal::UseWholeScreen() {
  window_ = {0, 0, columns_, lines_};
  cursor_column_ = 0;
  cursor_row_ = 0;
}

void TFakeTerminal::Clear(uint8_t attr) {
  for (int r = 0; r < window_.lines; ++r) {
    for (int c = 0; c < window_.columns; ++c) {
      cells_[window_.row + r][window_.column + c] = " ";
      attrs_[window_.row + r][window_.column + c] = attr;
    }
  }
  cursor_column_ = 0;
  cursor_row_ = 0;
}

void TFakeTerminal::GetCursor(int* column, int* row) {
  *column = cursor_column_;
  *row = cursor_row_;
}

void TFakeTerminal::SetCursor(int column, int row) {
  if (column >= 0 && column < window_.columns) cursor_column_ = column;
  if (row >= 0 && row < window_.lines) cursor_row_ = row;
}

void TFakeTerminal::Put(const std::string& character, int width, uint8_t attr) {
  if (cursor_row_ >= window_.lines) return;
  // A wide character does not fit the last column: curses moves it on.
  if (width == 2 && cursor_column_ + 1 >= window_.columns) Put(" ", 1, attr);
  if (cursor_row_ >= window_.lines) return;
  const int row = window_.row + cursor_row_;
  const int column = window_.column + cursor_column_;
  if (width == 0) {
    // A combining mark joins the character before it.
    if (column > window_.column) cells_[row][column - 1] += character;
    return;
  }
  cells_[row][column] = character;
  attrs_[row][column] = attr;
  if (width == 2) {
    cells_[row][column + 1] = "";
    attrs_[row][column + 1] = attr;
  }
  cursor_column_ += width;
  if (cursor_column_ >= window_.columns) {
    cursor_column_ = 0;
    ++cursor_row_;
  }
}

void TFakeTerminal::Write(const std::string& text, uint8_t attr) {
  writes_.push_back({cursor_column_ + 1, cursor_row_ + 1, text, attr});
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      // Clears the rest of the line and goes to the start of the next one.
      int row = cursor_row_;
      while (cursor_row_ == row && cursor_row_ < window_.lines) Put(" ", 1, attr);
      ++i;
      continue;
    }
    const TShownChar c = ShownCharAt(text, i);
    Put(c.shown, c.width, attr);
    i += c.length;
  }
  // As curses does at the last cell: the cursor stays inside the window.
  if (cursor_row_ >= window_.lines) {
    cursor_row_ = window_.lines - 1;
    cursor_column_ = window_.columns - 1;
  }
}

int TFakeTerminal::ReadKey() {
  while (!script_.empty() && script_.front().key == kSnapshotMark) {
    std::vector<std::string> rows;
    for (int i = 0; i < lines_; ++i) rows.push_back(RowText(i));
    snapshots_.push_back(rows);
    script_.pop_front();
  }
  if (script_.empty()) return kKeyQuit;
  TScripted next = script_.front();
  script_.pop_front();
  if (next.key == kKeyResize && next.columns > 0) {
    columns_ = next.columns;
    lines_ = next.lines;
    cells_.assign(lines_, std::vector<std::string>(columns_, " "));
    attrs_.assign(lines_, std::vector<uint8_t>(columns_, 7));
    window_ = {0, 0, columns_, lines_};
  }
  return next.key;
}

TUtf8Coding::TUtf8Coding() {
  const char* current = setlocale(LC_CTYPE, nullptr);
  old_locale_ = current != nullptr ? current : "C";
  available_ = setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  if (available_) SetTextCoding(TTextCoding::kUtf8);
}

TUtf8Coding::~TUtf8Coding() {
  if (!available_) return;
  SetTextCoding(TTextCoding::kBytes);
  setlocale(LC_CTYPE, old_locale_.c_str());
}
