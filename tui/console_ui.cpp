// The shared palette, geometry and lists of the console's screens.
#include "tui/console_ui.h"

#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "common/files.h"
#include "common/lang.h"
#include "common/process.h"
#include "tui/crt.h"
#include "tui/ctrls.h"
#include "tui/curses_screen.h"

TConsoleUi& ConsoleUi() {
  static TConsoleUi ui;
  return ui;
}

void ComputeFrame() {
  TConsoleUi& ui = ConsoleUi();
  ui.FrameWidth = ScreenWidth() - 4;
  ui.FrameHeight = ScreenHeight() - 2;
  ui.FieldAreaWidth = ui.FrameWidth - 4;
}

namespace {

// The number in `text` when it is a whole non-negative decimal number.
bool ParseCount(const std::string& text, int* count) {
  std::string trimmed = TrimBlanks(text);
  if (trimmed.empty() || trimmed.size() > 4) return false;
  for (char c : trimmed) {
    if (c < '0' || c > '9') return false;
  }
  *count = std::atoi(trimmed.c_str());
  return true;
}

}  // namespace

void InitConsoleUi() {
  TConsoleUi& ui = ConsoleUi();
  ui.YesNoList = {"Yes  ", "No  "};
  ui.ActionsList.clear();
  int count = 0;
  if (ParseCount(LangText("Count", "ACTIONS"), &count)) {
    for (int i = 0; i < count; ++i)
      ui.ActionsList.push_back(LangText(std::to_string(i), "ACTIONS"));
  }
  ComputeFrame();
}

void ShowError(const std::string& message) {
  PressAnyKeyBox(message, ErrorColors);
}

std::string SystemErrorText(int error) {
  return FileErrorText(error);
}

std::string FileErrorMessage(const std::string& reason, const std::string& path) {
  return reason + ": " + path;
}

void PrintSetupFailure() {
  PrintMessage("", "");
  PrintInvalidSetup();
  PrintMessage("", "");
}

bool LockForSession(const std::string& ident, const std::string& path, TSessionLock* lock) {
  if (lock->Acquire(path) != TLockResult::kBusy) return true;
  PrintMessage(ident, path +
                          " is open in another configuration console; try again once that "
                          "one has ended");
  return false;
}

void ClearAtEnd() {
  if (!RunProgram("clear", "", true, true)) ClearTerminal();
}

void RunConsole(const std::function<void()>& body) {
  if (InitScreen()) {
    InitConsoleUi();
    SetResizeCallback(ComputeFrame);
    body();
  } else if (!QuitRequested()) {
    // No terminal to give back or to clear.
    DoneScreen();
    return;
  }
  DoneScreen();
  ClearAtEnd();
}
