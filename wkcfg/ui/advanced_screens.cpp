// The advanced submenu's screens: row tables over the settings keys, with
// the calibration screen's test results kept read-only while a running
// server owns them.
#include <cstdlib>

#include "tui/console_ui.h"
#include "tui/ctrls.h"
#include "tui/form_screen.h"
#include "wkcfg/model/console_state.h"
#include "wkcfg/ui/key_rows.h"
#include "wkcfg/ui/screens.h"

void AdvancedSystemScreen() {
  TFormScreen screen = MakeFormScreen("ADVANCED SYSTEM CONFIGURATION");
  screen.rows = {
      NumberRow("Battery recharge time [s]:", "UpsRechargeTime"),
      NumberRow("Wattkeep TCP/IP listen port:", "SrvListenPort"),
      NumberRow("Broadcast Event interval [s]:", "SrvBroadcast"),
      NumberRow("UPS check rate [s]:", "SrvPollingUps"),
  };
  RunFormScreen(screen);
}

void AdvancedShutdownScreen() {
  TServerSetup& server = ConsoleState().setup.Server;
  TFormScreen screen = MakeFormScreen("ADVANCED SHUTDOWN CONFIGURATION");
  screen.rows = {
      YesNoRow("Allow shutdown from Scopewatch:", &server.SrvDownFromMonitor),
      NumberRow("Warning time for scheduled shutdown [m]:", "SrvDownWarningTime"),
  };
  RunFormScreen(screen);
}

void AdvancedQsSystemScreen() {
  TServerSetup& server = ConsoleState().setup.Server;
  TFormRow port = NumberRow("TCP/IP port for \"Check Wattkeep\":", "QsAlivePort");
  port.shown = [&server] { return server.QsAliveEnabled; };
  TFormScreen screen = MakeFormScreen("ADVANCED QS SYSTEM CONFIGURATION");
  screen.rows = {
      NumberRow("QS Client timeout connection [s]:", "QsTimeoutConnection"),
      YesNoRow("Enable \"Check Wattkeep\" function:", &server.QsAliveEnabled),
      port,
  };
  RunFormScreen(screen);
}

void CalibrationTestScreen() {
  TConsoleState& state = ConsoleState();
  const bool locked = state.ServerActive;
  TFormRow load = NumberRow("Load applied during the test [%]:", "UpsLoadPercent");
  load.allows_minus_one = true;
  TFormRow reset = ButtonRow(" [ Reset Test Results ] ", [&state] {
    if (ConfirmYesNoBox(ConsoleUi().FrameWidth, "Are you sure ?", true)) {
      ResetAutonomyData(&state.setup);
    }
    return false;
  });
  TFormScreen screen = MakeFormScreen("Autonomy Calibration Test Configuration");
  screen.rows = {
      NumberRow("Total autonomy [s]:", "UpsAutonomyTime"),
      load,
      NumberRow("Actual battery capacity [%]:", "UpsBatteryCapacity"),
      BlankRow(),
      reset,
  };
  if (locked) {
    // A running server holds the test results: shown, not editable.
    for (TFormRow& row : screen.rows) row.editable = [] { return false; };
    screen.rows[4].shown = [] { return false; };
    screen.read_only_label_colors = ChoiceLabelColors;
    screen.extra_draw = [] {
      WriteAt(3, 13, "Wattkeep is active - In order to edit these values:", false, false,
              DimmedColors);
      WriteAt(3, 14, "  1. Stop Wattkeep", false, false, DimmedColors);
      WriteAt(3, 15, "  2. Restart this program", false, false, DimmedColors);
    };
  }
  RunFormScreen(screen);
}
