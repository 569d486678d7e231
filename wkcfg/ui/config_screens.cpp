// The main menu's form screens: each is its row table over the console's
// record plus the few rules the table cannot say (the model change, the
// shutdown screen's model-dependent rows and limits, the exit checks).
#include <algorithm>
#include <cstdlib>

#include "common/lang.h"
#include "tui/console_ui.h"
#include "tui/ctrls.h"
#include "tui/form_screen.h"
#include "wkcfg/model/console_state.h"
#include "wkcfg/ui/config_screens.h"
#include "wkcfg/ui/key_rows.h"
#include "wkcfg/ui/screens.h"

namespace {

constexpr int kMaxUint16 = 65535;

TSetupData& Setup() {
  return ConsoleState().setup;
}

const TUpsCapabilities& Caps() {
  return ConsoleState().database;
}

std::string MissingValueText() {
  return LangText("100008", "ERRORS");
}

// A delay in seconds as the 16-bit field holds it, never wrapped.
uint16_t DelayField(int64_t seconds) {
  return static_cast<uint16_t>(std::clamp<int64_t>(seconds, 0, kMaxUint16));
}

// Advanced autonomy: the UPS must not switch off before the system is down.
void RaiseOffDelayToDownTime(TSetupData* setup) {
  if (setup->Ups.UpsOffDelay < setup->Server.SrvDownTime) {
    setup->Ups.UpsOffDelay = DelayField(setup->Server.SrvDownTime);
  }
}

bool ModelChosen(const std::string& name) {
  TConsoleState& state = ConsoleState();
  if (name.empty()) return false;
  if (ModelSelected(state) &&
      !ConfirmYesNoBox(ConsoleUi().FrameWidth,
                       "If you continue, all previously selected events and autonomy data "
                       "settings for the UPS will be deleted. Continue ?",
                       false)) {
    return false;
  }
  if (ChangeModel(&state, name) != 0) ShowError(LangText("100007", "ERRORS"));
  return true;
}

TTextList DeviceChoices() {
  TTextList devices{"USB"};
  for (char digit = '0'; digit <= '3'; ++digit) devices.push_back(std::string("/dev/ttyS") + digit);
  for (char digit = '0'; digit <= '3'; ++digit) {
    devices.push_back(std::string("/dev/ttyUSB") + digit);
  }
  return devices;
}

}  // namespace

int RestartDelayLowerLimit(const TUpsCapabilities& caps, const TUpsSetup& ups) {
  return std::max<int>(ups.UpsOffDelay + 5, caps.UpsOnDelayMin);
}

void ApplyRestartDelayRule(const TUpsCapabilities& caps, TUpsSetup* ups) {
  if (caps.UpsOnMode != 3) return;
  int delay = ups->UpsOnDelay;
  if (delay < ups->UpsOffDelay + 5) delay = ups->UpsOffDelay + 5;
  delay = std::max<int>(delay, caps.UpsOnDelayMin);
  delay = std::min<int>(delay, caps.UpsOnDelayMax);
  ups->UpsOnDelay = DelayField(delay);
}

TTextList RestartDelaySteps(const TUpsCapabilities& caps) {
  TTextList steps;
  if (caps.UpsOnDelayStep < 1) return steps;
  for (int value = caps.UpsOnDelayMin; value <= caps.UpsOnDelayMax; value += caps.UpsOnDelayStep) {
    steps.push_back(std::to_string(value));
  }
  return steps;
}

namespace {

int SystemExitCheck() {
  TServerSetup& server = Setup().Server;
  if (server.UpsDevice.empty()) {
    ShowError(MissingValueText());
    return 1;
  }
  server.UpsManType = server.UpsDevice == "USB" ? 1 : 0;
  return -1;
}

int MailExitCheck() {
  const TEmailSetup& email = Setup().Email;
  if (!email.EmailUseAuth || (!email.EmailLogin.empty() && !email.EmailPassword.empty())) {
    return -1;
  }
  ShowError(MissingValueText());
  return email.EmailLogin.empty() ? 6 : 7;
}

}  // namespace

void SystemConfigScreen() {
  TSetupData& setup = Setup();
  TFormScreen screen = MakeFormScreen("SYSTEM CONFIGURATION");
  screen.rows = {
      ChoiceRow(
          "UPS model name:", ModelNames(ConsoleState().database),
          [&setup] { return setup.Ups.UpsModelName; }, ModelChosen),
      ChoiceRow(
          "Device for communications:", DeviceChoices(),
          [&setup] { return setup.Server.UpsDevice; },
          [&setup](const std::string& work) {
            setup.Server.UpsDevice = work;
            return true;
          }),
      TextRow("Location of UPS/Computer:", &setup.Server.SrvLocation),
      TextRow("Password for configuration:", &setup.Server.SrvMainPassword, true),
      TextRow("Password for UPS Monitor:", &setup.Server.SrvMonitorPassword, true),
  };
  // A new password must be typeable at the start's prompt on the smallest
  // terminal (its frame is the columns less 5).
  screen.rows[3].max_length = PasswordPromptWidth(kMinColumns - 5);
  screen.exit_check = SystemExitCheck;
  RunFormScreen(screen);
  setup.Server.SrvAsService = true;
}

void ShutdownConfigScreen() {
  TSetupData& setup = Setup();
  TUpsSetup& ups = setup.Ups;
  TServerSetup& server = setup.Server;
  auto down = [&server] { return server.SrvDownEnabled; };
  auto off_shown = [&server, &ups] { return server.SrvDownEnabled && ups.UpsOffEnabled; };

  TFormRow enable = YesNoRow("Enable System Shutdown:", &server.SrvDownEnabled);

  TFormRow type = ChoiceRow(
      "Autonomy management type:", {"Advanced", "Fixed"},
      [&ups] { return std::string(ups.UpsSmartAutonomy ? "Advanced" : "Fixed"); },
      [&setup](const std::string& work) {
        setup.Ups.UpsSmartAutonomy = work == "Advanced";
        if (setup.Ups.UpsSmartAutonomy) RaiseOffDelayToDownTime(&setup);
        return true;
      });
  type.shown = down;
  type.editable = [] { return Caps().SmartAutonomy; };

  // The label, the field and the effect follow the autonomy type.
  TFormRow time = NumberRow("", "SrvDownTime");
  time.shown = down;
  time.value = [&ups, &server] {
    return std::to_string((ups.UpsSmartAutonomy ? server.SrvDownTime : server.UpsFixedTime) / 60);
  };
  time.store = [&setup](const std::string& work) {
    const int32_t seconds = std::atoi(work.c_str()) * 60;
    if (setup.Ups.UpsSmartAutonomy) {
      setup.Server.SrvDownTime = seconds;
      RaiseOffDelayToDownTime(&setup);
    } else {
      setup.Server.UpsFixedTime = seconds;
    }
    return true;
  };

  TFormRow off = YesNoRow("Enable UPS shutdown:", &ups.UpsOffEnabled);
  off.shown = [down] { return down() && (Caps().UpsOffMode == 1 || Caps().UpsOffMode == 2); };
  off.editable = [] { return Caps().UpsOffMode == 1; };

  TFormRow off_delay = NumberRow("Delay from start of System Shutdown [m]:", "UpsOffDelay");
  off_delay.shown = off_shown;
  off_delay.minimum = [&ups, &server] {
    return ups.UpsSmartAutonomy ? server.SrvDownTime / 60 : Caps().UpsOffDelayMin / 60;
  };
  off_delay.maximum = [] { return Caps().UpsOffDelayMax / 60; };
  // A UPS that always switches off keeps its own delay: nothing to check.
  off_delay.stores_on_enter = [] { return Caps().UpsOffMode == 1; };
  off_delay.store = [&ups](const std::string& work) {
    ups.UpsOffDelay = DelayField(std::atoi(work.c_str()) * 60);
    return true;
  };

  TFormRow on = YesNoRow("Enable UPS restart:", &ups.UpsOnEnabled);
  on.shown = [off_shown] { return off_shown() && Caps().UpsOnMode >= 1 && Caps().UpsOnMode <= 3; };
  on.editable = [] { return Caps().UpsOnMode == 1 || Caps().UpsOnMode == 3; };

  TFormRow on_delay = NumberRow("Delay from return of power [s]:", "UpsOnDelay");
  on_delay.shown = [off_shown, &ups] {
    return off_shown() && Caps().UpsOffMode == 1 && Caps().UpsOnMode != 0 && ups.UpsOnEnabled;
  };
  on_delay.minimum = [&ups] {
    return Caps().UpsOnMode == 3 ? RestartDelayLowerLimit(Caps(), ups) : 0;
  };
  on_delay.maximum = [] { return static_cast<int32_t>(Caps().UpsOnDelayMax); };
  on_delay.store = [&ups](const std::string& work) {
    ups.UpsOnDelay = DelayField(std::atoi(work.c_str()));
    return true;
  };

  TFormScreen screen = MakeFormScreen("SHUTDOWN CONFIGURATION");
  screen.rows = {enable, type, time, off, off_delay, on, on_delay};
  screen.before_draw = [&screen, &ups] {
    ApplyRestartDelayRule(Caps(), &ups);
    screen.rows[2].label = ups.UpsSmartAutonomy ? "Time needed for system shutdown [m]:"
                                                : "Execute shutdown after [m] in battery:";
    // With steps the delay is picked from the list of the model's values.
    TFormRow& row = screen.rows[6];
    const int step = Caps().UpsOnDelayStep;
    if (step > 1) {
      row.kind = TRowKind::kChoice;
      row.choices = [] { return RestartDelaySteps(Caps()); };
      row.value = [&ups, step] { return std::to_string(ups.UpsOnDelay / step * step); };
    } else {
      row.kind = TRowKind::kNumber;
      row.value = [&ups] { return std::to_string(ups.UpsOnDelay); };
    }
  };
  // A value picked from the list meets the same limits as a typed one.
  const auto store_delay = screen.rows[6].store;
  screen.rows[6].store = [&screen, store_delay](const std::string& work) {
    const TFormRow& row = screen.rows[6];
    if (row.kind == TRowKind::kNumber) return store_delay(work);
    int32_t value = 0;
    return RowNumber(row, work, true, &value) && store_delay(std::to_string(value));
  };
  RunFormScreen(screen);
}

void DataSelectionScreen() {
  TLogDataSetup& data = Setup().LogData;
  const TUpsCapabilities& caps = Caps();
  struct TDataRow {
    const char* label;
    bool* field;
    const bool* can;
  };
  const TDataRow table[] = {
      {"Input Voltage (\"R\" phase or Single-phase):", &data.DataReadVinPhaseR, &caps.CanVinPhaseR},
      {"Input Voltage (\"S\" phase):", &data.DataReadVinPhaseS, &caps.CanVinPhaseS},
      {"Input Voltage (\"T\" phase):", &data.DataReadVinPhaseT, &caps.CanVinPhaseT},
      {"Output Voltage (\"R\" phase or Single-phase):", &data.DataReadVoutPhaseR,
       &caps.CanVoutPhaseR},
      {"Output Voltage (\"S\" phase):", &data.DataReadVoutPhaseS, &caps.CanVoutPhaseS},
      {"Output Voltage (\"T\" phase):", &data.DataReadVoutPhaseT, &caps.CanVoutPhaseT},
      {"Output Power (\"R\" phase or Single-phase):", &data.DataReadPoutPhaseR,
       &caps.CanPoutPhaseR},
      {"Output Power (\"S\" phase):", &data.DataReadPoutPhaseS, &caps.CanPoutPhaseS},
      {"Output Power (\"T\" phase):", &data.DataReadPoutPhaseT, &caps.CanPoutPhaseT},
      {"Battery Voltage:", &data.DataReadVbatt, &caps.CanVbatt},
  };
  TFormScreen screen = MakeFormScreen("SELECT DATA TO BE RECORDED");
  for (const TDataRow& entry : table) {
    TFormRow row = YesNoRow(entry.label, entry.field);
    row.editable = [can = entry.can] { return *can; };
    screen.rows.push_back(row);
  }
  // Ten rows with a value area and the list hint beside labels this long only
  // fit at 80 columns on consecutive lines in a window two columns narrower
  // than the frame, the hint ending one column before its edge.
  screen.width_less = 2;
  screen.height_less = 6;
  screen.line_step = 1;
  screen.right_edge_extra = 3;
  screen.background = 2;
  screen.text_colors = MakeColors(0, 2);
  screen.read_only_label_colors = screen.text_colors;
  screen.read_only_value_colors = screen.text_colors;
  RunFormScreen(screen);
}

void LogDataConfigScreen() {
  TLogDataSetup& data = Setup().LogData;
  auto log = [&data] { return data.LogEnabled; };
  auto recording = [&data] { return data.DataEnabled; };

  TFormRow log_size = NumberRow("Maximum file size [kB]:", "LogMaxSize");
  log_size.shown = log;
  TFormRow data_size = NumberRow("Maximum file size [kB]:", "DataMaxSize");
  data_size.shown = recording;
  TFormRow rate = NumberRow("Recording frequency rate [s]:", "DataRate");
  rate.shown = recording;
  TFormRow separator = TextRow("Data separator character:", &data.DataSeparator);
  separator.max_length = 1;
  separator.store = [&data](const std::string& work) {
    data.DataSeparator = FirstChar(work);
    return true;
  };
  separator.shown = recording;
  TFormRow select = ButtonRow(" [ Select data to be recorded ] ", [] {
    DataSelectionScreen();
    return true;
  });
  select.shown = recording;

  TFormScreen screen = MakeFormScreen("LOG & DATA FILE CONFIGURATION");
  screen.rows = {
      YesNoRow("Enable recording of LOG file:", &data.LogEnabled),
      log_size,
      BlankRow(),
      YesNoRow("Enable recording of DATA file:", &data.DataEnabled),
      data_size,
      rate,
      separator,
      BlankRow(),
      select,
  };
  RunFormScreen(screen);
}

void MailServerConfigScreen() {
  TEmailSetup& email = Setup().Email;
  auto auth = [&email] { return email.EmailUseAuth; };
  TFormRow login = TextRow("Login:", &email.EmailLogin);
  login.shown = auth;
  TFormRow password = TextRow("Password:", &email.EmailPassword, true);
  password.shown = auth;

  TFormScreen screen = MakeFormScreen("MAIL SERVER CONFIGURATION");
  screen.rows = {
      TextRow("Sender's e-mail address:", &email.EmailSender),
      TextRow("TCP/IP address of SMTP server:", &email.EmailServer),
      NumberRow("TCP/IP port of SMTP server:", "EmailPort"),
      ChoiceRow(
          "Encryption", {"None", "STARTTLS", "SSL/TLS"},
          [&email] {
            if (email.EmailEncryption == 1) return std::string("STARTTLS");
            if (email.EmailEncryption == 2) return std::string("SSL/TLS");
            return std::string("None");
          },
          [&email](const std::string& work) {
            email.EmailEncryption = work == "None" ? 0 : work == "STARTTLS" ? 1 : 2;
            return true;
          }),
      BlankRow(),
      YesNoRow("Use SMTP authentication:", &email.EmailUseAuth),
      login,
      password,
  };
  screen.exit_check = MailExitCheck;
  RunFormScreen(screen);
}
