// The console's configuration screens in a real terminal at 80x25, one walk
// per screen: what each row shows and refuses, the rules between rows, and
// what Save and Exit then writes.
#include <memory>
#include <string>
#include <vector>

#include "common/scramble.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kMissing[] = "This field must not be empty.";

// The model line of the shipped database the cases are built on: the
// shipped data fixes their capabilities, so the expectations name them.
std::string Config(const std::string& model, const std::string& extra = "") {
  return ServerConfig(model, extra);
}

// A console at its main menu.
class Screens : public ::testing::Test {
 protected:
  void Begin(const std::string& config) {
    console_ = std::make_unique<ConsoleSession>(config);
    ASSERT_TRUE(console_->StartMenu());
  }

  ConsoleSession& c() { return *console_; }

  // The choice field in focus: its list opened, entry `index` taken.
  ::testing::AssertionResult Pick(int index) {
    std::vector<std::string> keys{"Enter"};
    keys.insert(keys.end(), static_cast<size_t>(index), "Down");
    keys.push_back("Enter");
    return c().Keys(keys);
  }

  // `text` typed into the focused field and ENTER.
  ::testing::AssertionResult Enter(const std::string& text) {
    ::testing::AssertionResult typed = c().Type(text);
    if (!typed) return typed;
    return c().Keys({"Enter"});
  }

  ::testing::AssertionResult Down(int count = 1) {
    return c().Keys(std::vector<std::string>(static_cast<size_t>(count), "Down"));
  }

  // A box with `message` is shown and closed with a key.
  ::testing::AssertionResult Box(const std::string& message) {
    ::testing::AssertionResult shown = c().Shows(message);
    if (!shown) return shown;
    ::testing::AssertionResult sent = c().Keys({"Space"});
    if (!sent) return sent;
    return c().Hides(message);
  }

  // `text` typed and refused with the range box of [min - max].
  ::testing::AssertionResult Refused(const std::string& text, int min, int max) {
    ::testing::AssertionResult entered = Enter(text);
    if (!entered) return entered;
    return Box("Error !  Number is invalid or out of range [" + std::to_string(min) + " - " +
               std::to_string(max) + "]");
  }

  // Back to the main menu.
  ::testing::AssertionResult Leave() {
    ::testing::AssertionResult sent = c().Keys({"Escape"});
    if (!sent) return sent;
    return c().Shows("Events Configuration");
  }

  std::unique_ptr<ConsoleSession> console_;
};

TEST_F(Screens, SystemModelChangeAsksFirstAndReplacesEventsAndRecharge) {
  Begin(Config("Quillon 650",
               "EventCounter=1\nEvent0=3|$LOG\nUpsAutonomyTime=900\nUpsRechargeTime=77\n"));
  ASSERT_TRUE(c().Open("System Configuration", "SYSTEM CONFIGURATION"));
  const std::string question = "If you continue, all previously selected events and autonomy";
  // Model 2 of the database is "Quillon 1000"; refused first, then taken.
  ASSERT_TRUE(Pick(2));
  ASSERT_TRUE(c().Shows(question));
  ASSERT_TRUE(c().Keys({"n"}));
  ASSERT_TRUE(c().Hides(question));
  EXPECT_EQ("Quillon 650", c().Value("UPS model name:"));
  ASSERT_TRUE(Pick(2));
  ASSERT_TRUE(c().Shows(question));
  ASSERT_TRUE(c().Keys({"y"}));
  ASSERT_TRUE(c().ShowsValue("UPS model name:", "Quillon 1000"));
  // The choice moved the focus to the device; the passwords are masked.
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Device for communications:", "USB"));
  ASSERT_TRUE(Enter("Rack 4"));
  ASSERT_TRUE(Enter("pw1"));
  ASSERT_TRUE(c().ShowsValue("Password for configuration:", "***"));
  ASSERT_TRUE(Enter("pw2"));
  ASSERT_TRUE(c().ShowsValue("Password for UPS Monitor:", "***"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("Quillon 1000", c().Saved("UpsModelName"));
  EXPECT_EQ("USB", c().Saved("UpsDevice"));
  EXPECT_EQ("1", c().Saved("UpsManType"));
  EXPECT_EQ("1", c().Saved("SrvAsService"));
  EXPECT_EQ("Rack 4", c().Saved("SrvLocation"));
  EXPECT_EQ(Scramble("pw1"), c().Saved("SrvMainPassword"));
  EXPECT_EQ(Scramble("pw2"), c().Saved("SrvMonitorPassword"));
  // The model's six hours, its events (COMMON and LINE_INTERACTIVE of the
  // shipped defaults) and the reset autonomy test values.
  EXPECT_EQ(std::to_string(6 * 3600), c().Saved("UpsRechargeTime"));
  EXPECT_EQ("9", c().Saved("EventCounter"));
  EXPECT_EQ("0|$POPUP,*|$LOG|$MSLOG", c().Saved("Event0"));
  EXPECT_EQ("300", c().Saved("UpsAutonomyTime"));
}

TEST_F(Screens, SystemFirstModelAsksNothingAndAnEmptyDeviceKeepsTheScreen) {
  Begin(Config("No Such Model"));
  ASSERT_TRUE(c().Open("System Configuration", "SYSTEM CONFIGURATION"));
  ASSERT_TRUE(Pick(1));
  // The value is drawn only after a question would have been answered.
  ASSERT_TRUE(c().ShowsValue("UPS model name:", "Quillon 650"));
  EXPECT_EQ("", c().Line("Continue ?"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(Box(kMissing));
  EXPECT_EQ("", c().Line("Shutdown Configuration"));
  // The focus is on the device row: ENTER opens its list.
  ASSERT_TRUE(Pick(6));
  ASSERT_TRUE(c().ShowsValue("Device for communications:", "/dev/ttyUSB1"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("Quillon 650", c().Saved("UpsModelName"));
  EXPECT_EQ("/dev/ttyUSB1", c().Saved("UpsDevice"));
  EXPECT_EQ("0", c().Saved("UpsManType"));
}

TEST_F(Screens, ShutdownRowsFollowTheSwitchesAndTheFixedRanges) {
  // Quillon 650: no smart autonomy, switch-off 60-1800 s, restart 10-600 s
  // in steps of 1.
  Begin(Config("Quillon 650", "SrvDownEnabled=0\nUpsOffEnabled=0\nUpsSmartAutonomy=0\n"));
  ASSERT_TRUE(c().Open("Shutdown Configuration", "SHUTDOWN CONFIGURATION"));
  ASSERT_TRUE(c().ShowsValue("Enable System Shutdown:", "No"));
  EXPECT_EQ("", c().Line("Autonomy management type:"));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Autonomy management type:", "Fixed"));
  EXPECT_EQ("", c().Line("Delay from start of System Shutdown [m]:"));
  // The type row is read-only for this model: the focus passes it.
  ASSERT_TRUE(Refused("0", 1, 35791394));
  ASSERT_TRUE(Enter("7"));
  ASSERT_TRUE(c().ShowsValue("Execute shutdown after [m] in battery:", "7"));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Enable UPS shutdown:", "Yes"));
  ASSERT_TRUE(Refused("31", 1, 30));
  ASSERT_TRUE(Enter("30"));
  ASSERT_TRUE(c().ShowsValue("Delay from start of System Shutdown [m]:", "30"));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Enable UPS restart:", "Yes"));
  ASSERT_TRUE(Refused("601", 0, 600));
  ASSERT_TRUE(Enter("600"));
  ASSERT_TRUE(c().ShowsValue("Delay from return of power [s]:", "600"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("1", c().Saved("SrvDownEnabled"));
  EXPECT_EQ("420", c().Saved("UpsFixedTime"));
  EXPECT_EQ("1", c().Saved("UpsOffEnabled"));
  EXPECT_EQ("1800", c().Saved("UpsOffDelay"));
  EXPECT_EQ("1", c().Saved("UpsOnEnabled"));
  EXPECT_EQ("600", c().Saved("UpsOnDelay"));
}

TEST_F(Screens, ShutdownAdvancedLabelAndRestartDelayRaisedWhileHidden) {
  // Quillon 1000: smart autonomy, switch-off 60-3600 s, restart tied to
  // the switch-off delay, 10-3900 s.
  Begin(Config("Quillon 1000",
               "UpsSmartAutonomy=1\nSrvDownTime=300\nUpsFixedTime=600\nUpsOffEnabled=1\n"
               "UpsOffDelay=600\nUpsOnEnabled=0\nUpsOnDelay=20\n"));
  ASSERT_TRUE(c().Open("Shutdown Configuration", "SHUTDOWN CONFIGURATION"));
  ASSERT_TRUE(c().ShowsValue("Time needed for system shutdown [m]:", "5"));
  EXPECT_EQ("", c().Line("Delay from return of power [s]:"));
  ASSERT_TRUE(Down());
  ASSERT_TRUE(Pick(1));
  ASSERT_TRUE(c().ShowsValue("Execute shutdown after [m] in battery:", "10"));
  EXPECT_EQ("", c().Line("Time needed for system shutdown [m]:"));
  ASSERT_TRUE(c().Keys({"Up"}));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Time needed for system shutdown [m]:", "5"));
  // Twenty minutes down time raise the switch-off delay with them, and
  // the lower limit of its range.
  ASSERT_TRUE(Enter("20"));
  ASSERT_TRUE(c().ShowsValue("Delay from start of System Shutdown [m]:", "20"));
  ASSERT_TRUE(Down());
  ASSERT_TRUE(Refused("19", 20, 60));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("1", c().Saved("UpsSmartAutonomy"));
  EXPECT_EQ("1200", c().Saved("SrvDownTime"));
  EXPECT_EQ("1200", c().Saved("UpsOffDelay"));
  EXPECT_EQ("0", c().Saved("UpsOnEnabled"));
  EXPECT_EQ("1205", c().Saved("UpsOnDelay"));
}

TEST_F(Screens, ShutdownRestartDelayStepsAreAList) {
  // Marrowline LI 1500: restart 30-600 s in steps of 30.
  Begin(Config("Marrowline LI 1500",
               "UpsSmartAutonomy=1\nUpsOffEnabled=1\nUpsOnEnabled=1\nUpsOnDelay=95\n"));
  ASSERT_TRUE(c().Open("Shutdown Configuration", "SHUTDOWN CONFIGURATION"));
  ASSERT_TRUE(c().ShowsValue("Delay from return of power [s]:", "90"));
  ASSERT_TRUE(Down(6));
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows(" 510"));
  // The list runs from the minimum in steps, more of it below the mark.
  const std::string screen = c().Screen();
  size_t at = 0;
  for (const char* step : {" 30", " 60", " 90", " 120", " 510", " v"}) {
    at = screen.find(step, at);
    EXPECT_NE(std::string::npos, at) << step;
  }
  EXPECT_EQ(std::string::npos, screen.find(" 95"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(c().ShowsValue("Delay from return of power [s]:", "120"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("120", c().Saved("UpsOnDelay"));
}

TEST_F(Screens, LogAndDataUnitsSeparatorAndDataSelection) {
  Begin(Config("Quillon 650", "LogMaxSize=5000\nDataSeparator=;\n"));
  ASSERT_TRUE(c().Open("Log & Data Configuration", "LOG & DATA FILE CONFIGURATION"));
  ASSERT_TRUE(c().ShowsValue("Maximum file size [kB]:", "5"));
  ASSERT_TRUE(Down());
  ASSERT_TRUE(Refused("2147484", 1, 2147483));
  ASSERT_TRUE(Enter("2147483"));
  ASSERT_TRUE(c().ShowsValue("Maximum file size [kB]:", "2147483"));
  // The blank row is passed over; data size and rate, then the separator.
  ASSERT_TRUE(Down(3));
  ASSERT_TRUE(Enter(" "));
  ASSERT_TRUE(c().ShowsValue("Data separator character:", ""));
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows("SELECT DATA TO BE RECORDED"));
  // Every row whole inside the 80-column window: label, value and hint.
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
  // Quillon 650 measures only the R phase and the battery: the S and T
  // rows are off and read-only, without the list hint.
  for (int i = 0; i < 10; ++i) {
    const bool editable = i % 3 == 0;
    const std::string line = c().Line(labels[i]);
    EXPECT_EQ(editable ? "Yes" : "No", c().Value(labels[i])) << line;
    EXPECT_EQ(editable, line.find(" <-- ENTER for List") != std::string::npos) << line;
    EXPECT_LE(line.size(), 79u) << line;
  }
  EXPECT_NE("", c().Line("<< Press [ESC] to return to Main Menu >>"));
  // The read-only rows are passed over.
  ASSERT_TRUE(Pick(1));
  ASSERT_TRUE(c().ShowsValue(labels[0], "No"));
  ASSERT_TRUE(Pick(1));
  ASSERT_TRUE(c().ShowsValue(labels[3], "No"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(c().Shows("LOG & DATA FILE CONFIGURATION"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("2147483000", c().Saved("LogMaxSize"));
  EXPECT_EQ("", c().Saved("DataSeparator"));
  EXPECT_EQ("0", c().Saved("DataReadVinPhaseR"));
  EXPECT_EQ("0", c().Saved("DataReadVoutPhaseR"));
  EXPECT_EQ("0", c().Saved("DataReadVinPhaseS"));
  EXPECT_EQ("1", c().Saved("DataReadPoutPhaseR"));
}

TEST_F(Screens, LogAndDataHidesTheDataRowsWhenRecordingIsOff) {
  Begin(Config("Quillon 650", "LogEnabled=0\nDataEnabled=1\n"));
  ASSERT_TRUE(c().Open("Log & Data Configuration", "LOG & DATA FILE CONFIGURATION"));
  EXPECT_EQ("", c().Line("Maximum file size [kB]:", 1));
  ASSERT_TRUE(Down());
  ASSERT_TRUE(Pick(1));
  ASSERT_TRUE(c().Hides("Recording frequency rate [s]:"));
  EXPECT_EQ("", c().Line("Select data to be recorded"));
  EXPECT_EQ("", c().Line("Maximum file size [kB]:"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("0", c().Saved("LogEnabled"));
  EXPECT_EQ("0", c().Saved("DataEnabled"));
}

TEST_F(Screens, MailExitCheckPutsTheFocusOnTheEmptyField) {
  Begin(Config("Quillon 650"));
  ASSERT_TRUE(c().Open("Mail Server Configuration", "MAIL SERVER CONFIGURATION"));
  EXPECT_EQ("", c().Line("Login:"));
  ASSERT_TRUE(Enter("ups@example.org"));
  ASSERT_TRUE(Enter("smtp.example.org"));
  ASSERT_TRUE(Refused("0", 1, 65535));
  ASSERT_TRUE(Enter("587"));
  ASSERT_TRUE(Pick(1));
  ASSERT_TRUE(c().ShowsValue("Encryption", "STARTTLS"));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Use SMTP authentication:", "Yes"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(Box(kMissing));
  ASSERT_TRUE(Enter("bob"));
  ASSERT_TRUE(c().ShowsValue("Login:", "bob"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(Box(kMissing));
  ASSERT_TRUE(Enter("pw"));
  ASSERT_TRUE(c().ShowsValue("Password:", "**"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("ups@example.org", c().Saved("EmailSender"));
  EXPECT_EQ("smtp.example.org", c().Saved("EmailServer"));
  EXPECT_EQ("587", c().Saved("EmailPort"));
  EXPECT_EQ("1", c().Saved("EmailEncryption"));
  EXPECT_EQ("1", c().Saved("EmailUseAuth"));
  EXPECT_EQ("bob", c().Saved("EmailLogin"));
  EXPECT_EQ(Scramble("pw"), c().Saved("EmailPassword"));
}

}  // namespace
