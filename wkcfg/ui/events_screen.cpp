// Placeholder screens until the real ones land: a window with the title that
// ESC closes.
#include "wkcfg/ui/console_ui.h"
#include "wkcfg/ui/ctrls.h"
#include "wkcfg/ui/screens.h"

void EventsScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("EVENTS CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}
