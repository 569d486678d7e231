// The screen layer's state and its window, cursor, attribute and key
// operations. Window geometry, cursor bounds and the handling of a resize are
// decided here; the terminal only draws and reads.
#include "tui/crt.h"

#include <algorithm>
#include <utility>

#include "tui/screen_text.h"

namespace {

struct TCrtState {
  TTerminal* terminal = nullptr;
  int screen_width = 0;
  int screen_height = 0;
  int left = 1, top = 1, right = 1, bottom = 1;
  uint8_t attr = 7;
  std::function<void()> resize_callback;
};

TCrtState g_crt;

void RefreshScreenSize() {
  g_crt.screen_width = g_crt.terminal->Columns() - 1;
  g_crt.screen_height = g_crt.terminal->Lines() - 1;
  g_crt.left = 1;
  g_crt.top = 1;
  g_crt.right = g_crt.screen_width + 1;
  g_crt.bottom = g_crt.screen_height + 1;
}

bool ScreenBigEnough() {
  return g_crt.screen_width + 1 >= kMinColumns && g_crt.screen_height + 1 >= kMinLines;
}

void ShowTooSmall() {
  std::string line = "Terminal too small: " + std::to_string(kMinColumns) + "x" +
                     std::to_string(kMinLines) + " needed, " +
                     std::to_string(g_crt.screen_width + 1) + "x" +
                     std::to_string(g_crt.screen_height + 1) + " found. Please enlarge it.";
  // The last column stays free: writing there would wrap or scroll.
  if (static_cast<int>(line.size()) > g_crt.screen_width)
    line.resize(std::max(0, g_crt.screen_width));
  g_crt.terminal->Clear(7);
  g_crt.terminal->SetCursor(0, 0);
  g_crt.terminal->Write(line, 7);
}

// After a resize: back to the whole screen, and while it is too small, the
// request for a larger one until a resize makes it fit.
int AfterResize() {
  for (;;) {
    g_crt.terminal->UseWholeScreen();
    RefreshScreenSize();
    if (ScreenBigEnough()) {
      if (g_crt.resize_callback) g_crt.resize_callback();
      return kKeyResize;
    }
    ShowTooSmall();
    int key;
    do {
      key = g_crt.terminal->ReadKey();
      if (key == kKeyQuit) return kKeyQuit;
    } while (key != kKeyResize);
  }
}

}  // namespace

void UseTerminal(TTerminal* terminal) {
  g_crt = TCrtState();
  g_crt.terminal = terminal;
  if (terminal) RefreshScreenSize();
}

int ScreenWidth() {
  return g_crt.screen_width;
}
int ScreenHeight() {
  return g_crt.screen_height;
}
int WindowLeft() {
  return g_crt.left;
}
int WindowTop() {
  return g_crt.top;
}
int WindowRight() {
  return g_crt.right;
}
int WindowBottom() {
  return g_crt.bottom;
}

uint8_t TextAttr() {
  return g_crt.attr;
}
void SetTextAttr(uint8_t attr) {
  g_crt.attr = attr;
}

void SetTextColors(int foreground, int background) {
  uint8_t attr = static_cast<uint8_t>((g_crt.attr & 0x8f) | ((background & 7) << 4));
  if (foreground == 128) {
    attr |= 0x80;
  } else {
    attr = static_cast<uint8_t>((attr & 0x70) | (foreground & 0x0f));
  }
  g_crt.attr = attr;
}

void SetTextColor(int foreground) {
  SetTextColors(foreground, (g_crt.attr >> 4) & 7);
}

void SetTextBackground(int background) {
  g_crt.attr = static_cast<uint8_t>((g_crt.attr & 0x8f) | ((background & 7) << 4));
}

void OpenWindow(int x1, int y1, int x2, int y2) {
  if (!g_crt.terminal) return;
  if (!g_crt.terminal->NewWindow(x1 - 1, y1 - 1, x2 - x1 + 1, y2 - y1 + 1)) return;
  g_crt.left = x1;
  g_crt.top = y1;
  g_crt.right = x2;
  g_crt.bottom = y2;
}

void OpenCenteredWindow(int width, int height, int background) {
  int x1 = (g_crt.screen_width - width) / 2 + 1;
  int y1 = (g_crt.screen_height - height) / 2 + 1;
  SetTextBackground(background);
  OpenWindow(x1, y1, x1 + width, y1 + height);
  ClearWindow();
}

void OpenWindowAt(int x, int y, int width, int height, int background) {
  SetTextBackground(background);
  OpenWindow(x + 1, y + 1, x + 1 + width, y + 1 + height);
  ClearWindow();
}

void ClearWindow() {
  if (g_crt.terminal) g_crt.terminal->Clear(g_crt.attr);
}

void MoveCursor(int x, int y) {
  if (!g_crt.terminal) return;
  int column, row;
  g_crt.terminal->GetCursor(&column, &row);
  if (x >= 1 && x <= g_crt.right - g_crt.left + 1) column = x - 1;
  if (y >= 1 && y <= g_crt.bottom - g_crt.top + 1) row = y - 1;
  g_crt.terminal->SetCursor(column, row);
}

void WriteText(const std::string& text) {
  if (g_crt.terminal) g_crt.terminal->Write(SafeText(text), g_crt.attr);
}

std::string ReadLineText() {
  constexpr size_t kMaxLine = 1022;
  std::string line;
  TKeyChars chars;
  while (CharCount(line) < kMaxLine) {
    int key = ReadKeyCode();
    if (key == kKeyEnter || key == kKeyResize || key == kKeyQuit) break;
    if (key == kKeyBackspace || key == kKeyDelete || key == kKeyLeft || key == 8) {
      chars.Reset();
      if (line.empty()) continue;
      // The whole last character goes, with every column it took.
      const size_t start = LastCharStart(line);
      const int width = TextWidth(line.substr(start));
      line.erase(start);
      int column, row;
      g_crt.terminal->GetCursor(&column, &row);
      if (column >= width) {
        g_crt.terminal->SetCursor(column - width, row);
        g_crt.terminal->Write(std::string(static_cast<size_t>(width), ' '), g_crt.attr);
        g_crt.terminal->SetCursor(column - width, row);
      }
    } else if (TextCoding() == TTextCoding::kBytes) {
      if ((key >= 32 && key <= 126) || (key >= 128 && key <= 255)) {
        line.push_back(static_cast<char>(key));
        WriteText(std::string(1, static_cast<char>(key)));
      }
    } else if (chars.Add(key) == TKeyChars::kComplete) {
      line += chars.character();
      WriteText(chars.character());
    }
  }
  return line;
}

int ReadKeyCode() {
  if (!g_crt.terminal) return kKeyQuit;
  int key = g_crt.terminal->ReadKey();
  if (key == kKeyResize) key = AfterResize();
  return key;
}

void ScreenBeep() {
  if (g_crt.terminal) g_crt.terminal->Beep();
}

void SetIdleCallback(std::function<void()> idle) {
  if (!g_crt.terminal) return;
  if (!idle) {
    g_crt.terminal->idle = nullptr;
    return;
  }
  g_crt.terminal->idle = [idle = std::move(idle)] {
    int column, row;
    g_crt.terminal->GetCursor(&column, &row);
    const uint8_t attr = g_crt.attr;
    idle();
    g_crt.attr = attr;
    g_crt.terminal->SetCursor(column, row);
  };
}

void SetResizeCallback(std::function<void()> callback) {
  g_crt.resize_callback = std::move(callback);
}

bool WaitForUsableSize() {
  if (!g_crt.terminal) return false;
  RefreshScreenSize();
  if (ScreenBigEnough()) return true;
  return AfterResize() != kKeyQuit;
}
