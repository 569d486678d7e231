// A small console built only from the toolkit, for its system tests: a menu
// with a separator, a boxed message for each entry, and an edit screen.
// It follows the terminal's size like the real console's screens do.
// WKUI_DEMO_FAIL=throw or =segv makes the first entry fail that way, to see
// the terminal given back after a fatal error; =spin makes it read keys for
// ever, ignoring kKeyQuit.
#include <signal.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tui/ctrls.h"
#include "tui/curses_screen.h"

namespace {

const TColors kNormal = MakeColors(15, 4);
const TColors kHighlight = MakeColors(0, 7);
const TColors kField = MakeColors(15, 0);

// The edit screen: ESC leaves it, ENTER shows the stored value.
bool EditScreen(std::string* value) {
  for (;;) {
    const int width = ScreenWidth() - 4;
    OpenCenteredWindow(width, ScreenHeight() - 2, 4);
    WriteCentered("EDIT A VALUE", width, 2, kNormal);
    EscapeHintLine(width, ScreenHeight() - 2, kNormal, false);
    std::string work = *value;
    int key = EditField(3, 5, 20, "Value:", &work, kNormal, kField, false, true, false);
    if (key == kKeyQuit) return false;
    if (key == kKeyEsc) return true;
    if (key == kKeyEnter) {
      *value = work;
      PressAnyKeyBox("Stored: " + *value, MakeColors(15, 2));
      if (QuitRequested()) return false;
    }
  }
}

}  // namespace

int main() {
  if (!InitScreen()) {
    DoneScreen();
    return 0;
  }
  const TTextList entries{"First entry", "Second entry", "", "Edit a value", "Exit"};
  std::string value = "start";
  for (;;) {
    int choice = MenuBox("TOOLKIT DEMO", 2, ScreenWidth() - 4, 4, kHighlight, kNormal, entries,
                         ScreenHeight() - 2);
    if (choice == kKeyResize) continue;
    if (choice == kKeyQuit || choice == 5) break;
    if (choice == 4) {
      if (!EditScreen(&value)) break;
    } else {
      const char* fail = std::getenv("WKUI_DEMO_FAIL");
      if (choice == 1 && fail != nullptr && std::string(fail) == "throw") {
        throw std::runtime_error("demo failure");
      }
      if (choice == 1 && fail != nullptr && std::string(fail) == "segv") raise(SIGSEGV);
      if (choice == 1 && fail != nullptr && std::string(fail) == "spin") {
        WriteAt(3, 3, "Reading keys for ever", false, false, kNormal);
        for (;;) ReadKeyCode();
      }
      PressAnyKeyBox("Chosen: " + entries[choice - 1], kNormal);
      if (QuitRequested()) break;
    }
  }
  DoneScreen();
  return 0;
}
