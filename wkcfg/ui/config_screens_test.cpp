#include "wkcfg/ui/config_screens.h"

#include <gtest/gtest.h>

#include "tui/ctrls.h"
#include "wkcfg/ui/screen_test_tree.h"
#include "wkcfg/ui/screens.h"

namespace {

const uint8_t kDimmed = AttrOf(11, 4);

std::string Events() {
  const TEvents& events = ConsoleState().setup.Ups.Events;
  std::string lines;
  for (int i = 0; i < events.Count(); ++i) lines += events.EventLine(i) + ";";
  return lines;
}

}  // namespace

TEST_F(ScreenTest, SystemScreenModelChangeDeviceCheckAndPasswords) {
  Record().Ups.Events.AddEventLine("7|$POPUP,*");
  Choose(0);             // Alpha: none was selected, so nothing is asked
  Keys({kKeyEsc, 'x'});  // no device yet: refused, the focus stays on it
  Choose(0);             // USB
  Enter("Lab 2");
  Enter("pw");
  Keys({kKeyDown});  // wraps to the model row
  Choose(1);
  Keys({'n'});  // Beta refused
  Choose(1);
  Keys({'y', kKeyEsc});
  SystemConfigScreen();

  const TSetupData& s = Record();
  EXPECT_EQ(s.Ups.UpsModelName, "Beta");
  EXPECT_EQ(s.Ups.UpsRechargeTime, 7200);
  EXPECT_EQ(Events(), "0|$LOG;2|$SHUTDOWN;");
  EXPECT_TRUE(ConsoleState().AutonomyReset);
  EXPECT_EQ(s.Server.UpsDevice, "USB");
  EXPECT_EQ(s.Server.UpsManType, 1);
  EXPECT_TRUE(s.Server.SrvAsService);
  EXPECT_EQ(s.Server.SrvLocation, "Lab 2");
  EXPECT_EQ(s.Server.SrvMainPassword, "pw");
  EXPECT_EQ(s.Server.SrvMonitorPassword, "");
  EXPECT_EQ(Wrote("Value missing"), 1);
  EXPECT_EQ(Wrote("all previously selected events"), 2);
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_EQ(FrameLine(2).find("SYSTEM CONFIGURATION"), 26u);
  EXPECT_EQ(FrameLine(11).substr(2, 30), "Password for configuration: **");
  EXPECT_EQ(FrameLine(7).substr(2, 37), "Device for communications:  USB      ");
}

// However wide the terminal, a new configuration password is no longer
// than the start's prompt takes at 80 columns; the monitor's password,
// never asked by the prompt, takes the whole field.
TEST_F(ScreenTest, NewConfigurationPasswordFitsThePromptAt80Columns) {
  Select(kAlpha);
  Record().Server.UpsDevice = "USB";
  const std::string typed(100, 'p');
  term_.AddResize(200, 50);
  Keys({kKeyDown, kKeyDown, kKeyDown});
  Enter(typed);
  Enter(typed);
  Keys({kKeyEsc});
  SystemConfigScreen();
  EXPECT_EQ(Record().Server.SrvMainPassword, typed.substr(0, 59));
  EXPECT_EQ(Record().Server.SrvMonitorPassword, typed);
  EXPECT_EQ(PasswordPromptWidth(kMinColumns - 5), 59);
}

TEST_F(ScreenTest, SystemScreenSerialDeviceIsNoUsb) {
  Select(kAlpha);
  Record().Server.UpsDevice = "USB";
  Record().Server.UpsManType = 1;
  Keys({kKeyDown});
  Choose(5);  // /dev/ttyUSB0
  Keys({kKeyEsc});
  SystemConfigScreen();
  EXPECT_EQ(Record().Server.UpsDevice, "/dev/ttyUSB0");
  EXPECT_EQ(Record().Server.UpsManType, 0);
  EXPECT_EQ(Record().Ups.UpsModelName, "Alpha");
  EXPECT_EQ(Wrote("all previously selected events"), 0);
}

TEST_F(ScreenTest, ShutdownScreenAdvancedThenFixedWithRestartTiedToSwitchOff) {
  Select(kAlpha);
  TSetupData& s = Record();
  s.Ups.UpsSmartAutonomy = true;
  s.Server.SrvDownEnabled = false;
  s.Ups.UpsOnDelay = 60;
  // Only the first row while shutdown is off; the restart delay is raised
  // all the same.
  Keys({kKeyEsc});
  ShutdownConfigScreen();
  EXPECT_EQ(s.Ups.UpsOnDelay, 185);
  EXPECT_FALSE(term_.Shows("Autonomy management type:"));

  Choose(0);         // shutdown on
  Keys({kKeyDown});  // Advanced kept
  Enter("5");        // down time 300 s, the switch-off follows it
  Choose(0);         // UPS shutdown on
  Enter("4");        // below the down time
  Keys({'x'});
  Enter("10");
  Choose(0);  // restart on: its delay is raised to 605
  Enter("100");
  Keys({'x'});
  Enter("700");
  Keys({kKeyDown});  // from the first row
  Choose(1);         // Fixed
  Enter("7");
  Keys({kKeyEsc});
  ShutdownConfigScreen();

  EXPECT_TRUE(s.Server.SrvDownEnabled);
  EXPECT_FALSE(s.Ups.UpsSmartAutonomy);
  EXPECT_EQ(s.Server.SrvDownTime, 300);
  EXPECT_EQ(s.Server.UpsFixedTime, 420);
  EXPECT_TRUE(s.Ups.UpsOffEnabled);
  EXPECT_EQ(s.Ups.UpsOffDelay, 600);
  EXPECT_TRUE(s.Ups.UpsOnEnabled);
  EXPECT_EQ(s.Ups.UpsOnDelay, 700);
  EXPECT_EQ(Wrote("out of range [5 - 60]"), 1);
  EXPECT_EQ(Wrote("out of range [605 - 900]"), 1);
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_EQ(FrameLine(9).substr(2, 43), "Execute shutdown after [m] in battery:   7 ");
  EXPECT_EQ(FrameLine(17).substr(2, 44), "Delay from return of power [s]:          700");
}

TEST_F(ScreenTest, ShutdownScreenFixedModelWithRestartSteps) {
  Select(kBeta);
  TSetupData& s = Record();
  s.Ups.UpsOffEnabled = true;
  s.Ups.UpsOnEnabled = true;
  s.Ups.UpsOnDelay = 75;
  Keys({kKeyDown});  // the autonomy type is read-only: on to the time
  Keys({kKeyDown, kKeyDown, kKeyDown, kKeyDown});
  Choose(2);  // 30, 60, 90
  Keys({kKeyEsc});
  ShutdownConfigScreen();
  EXPECT_EQ(s.Ups.UpsOnDelay, 90);
  EXPECT_FALSE(s.Ups.UpsSmartAutonomy);
  EXPECT_EQ(FrameLine(7).substr(2, 49), "Autonomy management type:                Fixed   ");
  EXPECT_EQ(FrameAttr(3, 7), kDimmed);
  EXPECT_EQ(FrameAttr(44, 7), kDimmed);
  EXPECT_EQ(FrameLine(17).substr(2, 47), "Delay from return of power [s]:          90    ");
  EXPECT_EQ(term_.keys_left(), 0);

  // The shown value is the step below the stored one.
  s.Ups.UpsOnDelay = 75;
  Keys({kKeyEsc});
  ShutdownConfigScreen();
  EXPECT_NE(FrameLine(17).find(" 60 "), std::string::npos);
  EXPECT_EQ(s.Ups.UpsOnDelay, 75);
}

TEST_F(ScreenTest, ShutdownScreenAlwaysOnSwitchOffStoresNoDelay) {
  Select(kGamma);
  TSetupData& s = Record();
  ASSERT_TRUE(s.Ups.UpsOffEnabled);
  Keys({kKeyDown, kKeyDown});  // to the switch-off delay, the read-only rows passed
  Enter("9");                  // moves on without storing, round to the first row
  Keys({kKeyUp, kKeyUp});      // upward past the hidden and read-only rows
  Enter("8");
  Keys({kKeyEsc});
  ShutdownConfigScreen();
  EXPECT_EQ(s.Ups.UpsOffDelay, 180);
  EXPECT_EQ(s.Server.UpsFixedTime, 480);
  EXPECT_EQ(FrameAttr(3, 11), kDimmed);  // Enable UPS shutdown
  EXPECT_EQ(FrameAttr(3, 15), kDimmed);  // Enable UPS restart
  EXPECT_FALSE(term_.Shows("Delay from return of power"));
}

// ENTER on the switch-off delay of a UPS that always switches off neither
// checks a range nor stores, whatever was typed; with a switch-off the user
// chooses, the same typing meets the range.
TEST_F(ScreenTest, AlwaysOnSwitchOffDelayIsNeverChecked) {
  for (const char* typed : {"99", "0", "7", "99999"}) {
    Select(kGamma);
    TSetupData& s = Record();
    s.Ups.UpsOffDelay = 180;
    Keys({kKeyDown, kKeyDown});
    Enter(typed);
    Keys({kKeyEsc});
    ShutdownConfigScreen();
    EXPECT_EQ(s.Ups.UpsOffDelay, 180) << typed;
    EXPECT_EQ(Wrote("out of range"), 0) << typed;
    EXPECT_EQ(term_.keys_left(), 0) << typed;
  }
  Select(kBeta);
  Record().Ups.UpsOffEnabled = true;
  Keys({kKeyDown, kKeyDown, kKeyDown});  // time, switch-off, its delay
  Enter("99");
  Keys({kKeyEsc, kKeyEsc});  // the error box, then the screen
  ShutdownConfigScreen();
  EXPECT_GT(Wrote("out of range [0 - 10]"), 0);
}

TEST_F(ScreenTest, LogAndDataScreen) {
  Select(kBeta);
  TLogDataSetup& d = Record().LogData;
  Choose(1);  // LOG off: its size row is hidden and passed over
  Keys({kKeyDown});
  Enter("5");
  Enter("0");
  Keys({'x'});
  Enter("30");
  Enter(" ");         // a blank separator is stored empty
  Keys({kKeyEnter});  // the data selection: its first row is read-only
  Choose(1);          // Input Voltage ("S" phase) off
  Keys({kKeyEsc, kKeyEsc});
  LogDataConfigScreen();
  EXPECT_FALSE(d.LogEnabled);
  EXPECT_EQ(d.LogMaxSize, 2147483647);
  EXPECT_EQ(d.DataMaxSize, 5000);
  EXPECT_EQ(d.DataRate, 30);
  EXPECT_EQ(d.DataSeparator, "");
  EXPECT_FALSE(d.DataReadVinPhaseS);
  EXPECT_TRUE(d.DataReadVbatt);
  EXPECT_EQ(Wrote("out of range [1 - 65535]"), 1);
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_EQ(FrameLine(13).substr(2, 36), "Maximum file size [kB]:        5    ");
  EXPECT_EQ(FrameLine(21).substr(20, 32), " [ Select data to be recorded ] ");
}

TEST_F(ScreenTest, DataSelectionFitsItsWindowAt80x25) {
  Select(kBeta);
  Keys({kKeyDown});
  Choose(1);              // from Battery Voltage: off
  DataSelectionScreen();  // the script runs out: the last drawing stays
  EXPECT_FALSE(Record().LogData.DataReadVbatt);
  const TFakeTerminal::TWindow w = term_.window();
  ASSERT_EQ(w.columns, 74);
  ASSERT_EQ(w.lines, 17);
  auto line = [&](int n) { return term_.ScreenRow(w.row + n).substr(w.column, w.columns); };
  EXPECT_NE(line(2).find("SELECT DATA TO BE RECORDED"), std::string::npos);
  const char* labels[] = {"Input Voltage (\"R\" phase or Single-phase):",
                          "Input Voltage (\"S\" phase):",
                          "Input Voltage (\"T\" phase):",
                          "Output Voltage (\"R\" phase or Single-phase):",
                          "Output Voltage (\"S\" phase):",
                          "Output Voltage (\"T\" phase):",
                          "Output Power (\"R\" phase or Single-phase):",
                          "Output Power (\"S\" phase):",
                          "Output Power (\"T\" phase):",
                          "Battery Voltage:"};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(line(5 + i).substr(2, std::string(labels[i]).size()), labels[i]) << i;
  }
  // Editable rows: value and hint inside the window; read-only ones in (0, 2).
  EXPECT_EQ(line(6).substr(46, 27), "Yes      <-- ENTER for List");
  EXPECT_EQ(line(14).substr(46, 27), "No       <-- ENTER for List");
  EXPECT_EQ(line(5).substr(46, 4), "No  ");
  EXPECT_EQ(term_.AttrAt(w.column + 3, w.row + 5), AttrOf(0, 2));
  EXPECT_NE(line(16).find("<< Press [ESC] to return to Main Menu >>"), std::string::npos);
}

TEST_F(ScreenTest, MailScreenAuthenticationCheck) {
  TEmailSetup& e = Record().Email;
  Enter("ups@example.org");
  Enter("smtp.example.org");
  Enter("0");
  Keys({'x'});
  Enter("587");
  Choose(1);  // STARTTLS; the blank row is passed over
  Choose(0);  // authentication on
  Enter("me");
  Keys({kKeyEsc, 'x'});  // no password: the focus goes to it
  Enter("secret");
  Keys({kKeyEsc});
  MailServerConfigScreen();
  EXPECT_EQ(e.EmailSender, "ups@example.org");
  EXPECT_EQ(e.EmailServer, "smtp.example.org");
  EXPECT_EQ(e.EmailPort, 587);
  EXPECT_EQ(e.EmailEncryption, 1);
  EXPECT_TRUE(e.EmailUseAuth);
  EXPECT_EQ(e.EmailLogin, "me");
  EXPECT_EQ(e.EmailPassword, "secret");
  EXPECT_EQ(Wrote("Value missing"), 1);
  EXPECT_EQ(term_.keys_left(), 0);
  EXPECT_NE(FrameLine(19).find("Password:                      ******"), std::string::npos);

  // An empty login takes the focus first; with authentication off nothing
  // is checked.
  e.EmailLogin.clear();
  e.EmailEncryption = 7;
  Keys({kKeyEsc, 'x'});
  Enter("you");
  Keys({kKeyUp, kKeyUp});
  Choose(1);
  Keys({kKeyEsc});
  MailServerConfigScreen();
  EXPECT_EQ(e.EmailLogin, "you");
  EXPECT_FALSE(e.EmailUseAuth);
  EXPECT_FALSE(term_.Shows("Login:"));
  EXPECT_NE(FrameLine(11).find("Encryption                     None"), std::string::npos);
  EXPECT_EQ(term_.keys_left(), 0);
}

TEST(RestartDelay, RaisedAboveTheSwitchOffAndKeptInTheModelsLimits) {
  struct {
    int mode, min, max, off, on, expected;
  } cases[] = {
      {3, 10, 900, 180, 60, 185},   // below the switch-off: raised
      {3, 10, 900, 180, 400, 400},  // already later: kept
      {3, 300, 900, 180, 60, 300},  // the model's minimum wins
      {3, 10, 100, 180, 60, 100},   // the maximum wins over the raise
      {3, 10, 900, 180, 950, 900},  // above the maximum: lowered
      {1, 10, 900, 180, 60, 60},    // other modes: untouched
      {3, 0, 65535, 65535, 0, 65535},
  };
  for (const auto& c : cases) {
    TUpsCapabilities caps;
    caps.UpsOnMode = c.mode;
    caps.UpsOnDelayMin = c.min;
    caps.UpsOnDelayMax = c.max;
    TUpsSetup ups;
    ups.UpsOffDelay = c.off;
    ups.UpsOnDelay = c.on;
    ApplyRestartDelayRule(caps, &ups);
    EXPECT_EQ(ups.UpsOnDelay, c.expected) << c.mode << " " << c.min << " " << c.max << " " << c.on;
  }
  TUpsCapabilities caps;
  caps.UpsOnDelayMin = 200;
  TUpsSetup ups;
  ups.UpsOffDelay = 100;
  EXPECT_EQ(RestartDelayLowerLimit(caps, ups), 200);
  ups.UpsOffDelay = 300;
  EXPECT_EQ(RestartDelayLowerLimit(caps, ups), 305);
}

TEST(RestartDelay, StepLists) {
  struct {
    int min, max, step;
    TTextList expected;
  } cases[] = {
      {30, 120, 30, {"30", "60", "90", "120"}},
      {30, 100, 30, {"30", "60", "90"}},
      {300, 100, 30, {}},  // minimum above maximum: nothing to offer
      {0, 100, 0, {}},     // no step: no endless list
      {65500, 65535, 30, {"65500", "65530"}},
  };
  for (const auto& c : cases) {
    TUpsCapabilities caps;
    caps.UpsOnDelayMin = c.min;
    caps.UpsOnDelayMax = c.max;
    caps.UpsOnDelayStep = c.step;
    EXPECT_EQ(RestartDelaySteps(caps), c.expected) << c.min << " " << c.max << " " << c.step;
  }
}
