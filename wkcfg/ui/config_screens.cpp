// Placeholder screens until the real ones land: a window with the title that
// ESC closes.
#include "wkcfg/ui/console_ui.h"
#include "wkcfg/ui/ctrls.h"
#include "wkcfg/ui/screens.h"

void SystemConfigScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("SYSTEM CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}

void ShutdownConfigScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("SHUTDOWN CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}

void LogDataConfigScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("LOG & DATA FILE CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}

void MailServerConfigScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("MAIL SERVER CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}
