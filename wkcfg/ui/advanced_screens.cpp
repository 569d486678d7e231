// Placeholder screens until the real ones land: a window with the title that
// ESC closes.
#include "wkcfg/ui/console_ui.h"
#include "wkcfg/ui/ctrls.h"
#include "wkcfg/ui/screens.h"

void AdvancedSystemScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("ADVANCED SYSTEM CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}

void AdvancedShutdownScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("ADVANCED SHUTDOWN CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}

void AdvancedQsSystemScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("ADVANCED QS SYSTEM CONFIGURATION", ConsoleUi().FrameWidth, 2, NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}

void CalibrationTestScreen() {
  for (;;) {
    OpenCenteredWindow(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, 4);
    WriteCentered("Autonomy Calibration Test Configuration", ConsoleUi().FrameWidth, 2,
                  NormalColors);
    int key = EscapeHintLine(ConsoleUi().FrameWidth, ConsoleUi().FrameHeight, NormalColors, true);
    if (key != kKeyResize) return;
  }
}
