// The console's configuration screens in a real terminal at 80x25, one walk
// per screen: what each row shows and refuses, the rules between rows, and
// what Save and Exit then writes.
#include <memory>
#include <string>
#include <vector>

#include "common/scramble.h"
#include "tests/support/subprocess.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kMissing[] = "This field must not be empty.";

// The cases name models of the shipped database; its lines fix their
// capabilities, which the comments of each case repeat.

// A console at its main menu.
class Screens : public ::testing::Test {
 protected:
  void Begin(const std::string& config) {
    console_ = std::make_unique<TConsoleSession>(config);
    ASSERT_TRUE(console_->StartMenu());
  }

  TConsoleSession& c() { return *console_; }

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

  std::unique_ptr<TConsoleSession> console_;
};

TEST_F(Screens, SystemModelChangeAsksFirstAndReplacesEventsAndRecharge) {
  Begin(ServerConfig("Quillon 650",
                     "EventCounter=1\nEvent0=3|$LOG\nUpsAutonomyTime=900\nUpsRechargeTime=77\n"));
  ASSERT_TRUE(c().Open("System Configuration", "SYSTEM CONFIGURATION"));
  const std::string question = "If you continue, all previously selected events and autonomy";
  // Model 2 of the database is "Quillon 1000"; refused first, then taken.
  ASSERT_TRUE(Pick(2));
  ASSERT_TRUE(c().Shows(question));
  ASSERT_TRUE(c().Keys({"n"}));
  ASSERT_TRUE(c().Hides(question));
  ASSERT_TRUE(c().ShowsValue("UPS model name:", "Quillon 650"));
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
  Begin(ServerConfig("No Such Model"));
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
  Begin(ServerConfig("Quillon 650", "SrvDownEnabled=0\nUpsOffEnabled=0\nUpsSmartAutonomy=0\n"));
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
  Begin(ServerConfig("Quillon 1000",
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

TEST_F(Screens, ShutdownForcedSwitchOffStoresNoDelay) {
  // Tessaro OL 3K: the UPS always switches off after 300 s; restart tied to
  // the switch-off delay, 310-1200 s. ENTER on the delay row checks no
  // range and moves on, keeping the stored value; the hidden restart delay
  // is raised to the model's minimum.
  Begin(ServerConfig("Tessaro OL 3K", "UpsOffEnabled=0\nUpsOffDelay=60\nUpsOnDelay=20\n"));
  ASSERT_TRUE(c().Open("Shutdown Configuration", "SHUTDOWN CONFIGURATION"));
  ASSERT_TRUE(c().ShowsValue("Enable UPS shutdown:", "Yes"));
  EXPECT_EQ("", c().Line("Delay from return of power [s]:"));
  ASSERT_TRUE(Down(3));
  ASSERT_TRUE(Enter("6"));
  ASSERT_TRUE(c().ShowsValue("Delay from start of System Shutdown [m]:", "1"));
  // The focus moved on to the restart switch, no error box between.
  ASSERT_TRUE(Pick(1));
  ASSERT_TRUE(c().ShowsValue("Enable UPS restart:", "No"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ(std::string::npos, c().Output().find("out of range"));
  EXPECT_EQ("1", c().Saved("UpsOffEnabled"));
  EXPECT_EQ("60", c().Saved("UpsOffDelay"));
  EXPECT_EQ("0", c().Saved("UpsOnEnabled"));
  EXPECT_EQ("310", c().Saved("UpsOnDelay"));
}

TEST_F(Screens, ShutdownRestartDelayStepsAreAList) {
  // Marrowline LI 1500: restart 30-600 s in steps of 30.
  Begin(ServerConfig("Marrowline LI 1500",
                     "UpsSmartAutonomy=1\nUpsOffEnabled=1\nUpsOnEnabled=1\nUpsOnDelay=95\n"));
  ASSERT_TRUE(c().Open("Shutdown Configuration", "SHUTDOWN CONFIGURATION"));
  ASSERT_TRUE(c().ShowsValue("Delay from return of power [s]:", "90"));
  ASSERT_TRUE(Down(6));
  ASSERT_TRUE(c().Keys({"Enter"}));
  // The list runs from the minimum in steps, more of it below the mark.
  ASSERT_TRUE(c().ShowsInOrder({" 30", " 60", " 90", " 120", " 510", " v"}));
  EXPECT_EQ(std::string::npos, c().Screen().find(" 95"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(c().ShowsValue("Delay from return of power [s]:", "120"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("120", c().Saved("UpsOnDelay"));
}

TEST_F(Screens, LogAndDataUnitsSeparatorAndDataSelection) {
  Begin(ServerConfig("Quillon 650", "LogMaxSize=5000\nDataSeparator=;\n"));
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
  ASSERT_TRUE(c().ShowsInOrder({"SELECT DATA TO BE RECORDED",
                                "Battery Voltage:", "<< Press [ESC] to return to Main Menu >>"}));
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
  Begin(ServerConfig("Quillon 650", "LogEnabled=0\nDataEnabled=1\n"));
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
  Begin(ServerConfig("Quillon 650"));
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

const char kBatteryLow[] = "Battery low";
const char kPowerFailure[] = "Mains power failure, the UPS runs on battery";
const char kPopup[] = " - Show a pop-up message";
const char kLog[] = " - Write an entry to the log file";
const char kShutdown[] = " - Shut down this computer";
const char kMsLog[] = " - Write an entry to the system event log";
const char kRemote[] = " - Shut down a remote computer (10.0.0.5 : 6005)";

std::string EventsConfig() {
  return ServerConfig("Quillon 650",
                      "EventCounter=2\nEvent0=2|$POPUP,*|$LOG|$SHUTDOWN\nEvent1=0|$LOG|$MSLOG\n");
}

TEST_F(Screens, EventsInsertEditMoveDeleteAndSave) {
  Begin(EventsConfig());
  ASSERT_TRUE(c().Open("Events Configuration", "EVENTS CONFIGURATION"));
  ASSERT_TRUE(c().Shows(kBatteryLow));
  // A remote job: empty address and port 0 refused, the default port kept.
  ASSERT_TRUE(c().Keys({"i"}));
  ASSERT_TRUE(c().Shows("SELECT JOB TO INSERT:"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(c().Shows("NEW JOB : Shut down a remote computer"));
  ASSERT_TRUE(c().ShowsValue("TCP/IP port [def. 6005]:", "6005"));
  EXPECT_EQ("", c().Value("Computer TCP/IP address:"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Enter"}));
  ASSERT_TRUE(Box(kMissing));
  ASSERT_TRUE(Enter("10.0.0.5"));
  ASSERT_TRUE(Refused("0", 1, 65535));
  ASSERT_TRUE(c().Keys({"Down", "Enter"}));
  // Inserted before the shutdown of this computer.
  ASSERT_TRUE(c().ShowsInOrder({kPopup, kLog, kRemote, kShutdown}));
  // Cancelled in the chooser and in the dialog: nothing inserted.
  ASSERT_TRUE(c().Keys({"i"}));
  ASSERT_TRUE(c().Shows("SELECT JOB TO INSERT:"));
  ASSERT_TRUE(c().Keys({"Escape", "i"}));
  ASSERT_TRUE(c().Shows("SELECT JOB TO INSERT:"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(c().Shows("NEW JOB : Run a local script"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(c().ShowsInOrder({kLog, kRemote, kShutdown}, {"NEW JOB", "Run a local script"}));
  // The log job has nothing to edit.
  ASSERT_TRUE(c().Keys({"Down", "e"}));
  ASSERT_TRUE(Box("No parameters for modification !"));
  // The other event: E on the system log job does nothing, so N then moves
  // the first job down; moves past either end do nothing; D deletes at once.
  ASSERT_TRUE(c().Keys({"s", "Down", "Enter"}));
  ASSERT_TRUE(c().Shows(kPowerFailure));
  ASSERT_TRUE(c().Keys({"Down", "e", "n"}));
  ASSERT_TRUE(c().ShowsInOrder({kMsLog, kLog}));
  ASSERT_TRUE(c().Keys({"p", "Down", "n", "d"}));
  ASSERT_TRUE(c().ShowsInOrder({kPowerFailure, kLog}, {kMsLog}));
  // Saved to a file named as typed; ESC in the name box saves nothing.
  ASSERT_TRUE(c().Keys({"w"}));
  ASSERT_TRUE(c().Shows("Save as:"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(c().Hides("Save as:"));
  ASSERT_TRUE(c().Keys({"w"}));
  ASSERT_TRUE(c().Shows("Save as:"));
  ASSERT_TRUE(Enter("saved.evn"));
  ASSERT_TRUE(Box("File saved properly."));
  const std::string first = "2|$POPUP,*|$LOG|$R_SHUT,10.0.0.5,6005|$SHUTDOWN";
  EXPECT_EQ(first + "\n0|$LOG\n", ReadFile(c().tree().Path("saved.evn")));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("2", c().Saved("EventCounter"));
  EXPECT_EQ(first, c().Saved("Event0"));
  EXPECT_EQ("0|$LOG", c().Saved("Event1"));
}

TEST_F(Screens, EventsEditRemoteJobRefuseSeparatorsAndActOnTheFirstEqualLine) {
  Begin(ServerConfig("Quillon 650", "EventCounter=1\nEvent0=2|$LOG|$R_MSG,10.0.0.7,6010|$LOG\n"));
  ASSERT_TRUE(c().Open("Events Configuration", "EVENTS CONFIGURATION"));
  ASSERT_TRUE(c().Shows("(10.0.0.7 : 6010)"));
  ASSERT_TRUE(c().Keys({"Down", "e"}));
  ASSERT_TRUE(c().Shows("EDIT JOB : Send a message to a remote computer"));
  ASSERT_TRUE(c().ShowsValue("Computer TCP/IP address:", "10.0.0.7"));
  ASSERT_TRUE(c().ShowsValue("TCP/IP port [def. 6005]:", "6010"));
  // A separator in a parameter would split the job when it is read back.
  ASSERT_TRUE(Enter("x,y"));
  ASSERT_TRUE(Box("Error !  The characters , and | cannot be stored"));
  ASSERT_TRUE(c().ShowsValue("Computer TCP/IP address:", "10.0.0.7"));
  ASSERT_TRUE(Down());
  ASSERT_TRUE(Enter("7000"));
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows("(10.0.0.7 : 7000)"));
  // P on the second of two equal lines acts on the first, which is on top.
  ASSERT_TRUE(c().Keys({"Down", "Down", "p", "i"}));
  ASSERT_TRUE(c().Shows("SELECT JOB TO INSERT:"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down"}));
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows("NEW JOB : Send an e-mail"));
  ASSERT_TRUE(Enter("ops@example.org"));
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows("ops@example.org"));
  ASSERT_TRUE(c().Hides("NEW JOB"));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("2|$LOG|$R_MSG,10.0.0.7,7000|$LOG|$EMAIL,ops@example.org", c().Saved("Event0"));
}

TEST_F(Screens, EventsWithoutEventsThenLoadAndReset) {
  Begin(ServerConfig("Quillon 650"));
  ASSERT_TRUE(WriteFile(c().tree().Path("other.evn"), "13|$LOG\n7|$POPUP,*\n"));
  ASSERT_TRUE(c().Open("Events Configuration", "EVENTS CONFIGURATION"));
  ASSERT_TRUE(c().Shows("NO JOBS CONFIGURED !!!"));
  // No event: the job commands do nothing (no chooser takes the R).
  ASSERT_TRUE(c().Keys({"i", "e", "d", "p", "n", "r"}));
  ASSERT_TRUE(c().Shows("Continue ?"));
  ASSERT_TRUE(c().Keys({"n"}));
  ASSERT_TRUE(c().ShowsInOrder({"NO JOBS CONFIGURED !!!"}, {"Continue ?"}));
  ASSERT_TRUE(c().Keys({"l"}));
  ASSERT_TRUE(c().Shows("Open:"));
  ASSERT_TRUE(Enter("missing.evn"));
  ASSERT_TRUE(Box("No such file or directory"));
  ASSERT_TRUE(c().Shows("NO JOBS CONFIGURED !!!"));
  ASSERT_TRUE(c().Keys({"l"}));
  ASSERT_TRUE(c().Shows("Open:"));
  ASSERT_TRUE(Enter("other.evn"));
  ASSERT_TRUE(Box("File loaded properly."));
  ASSERT_TRUE(c().Shows("Failure of an input phase"));
  ASSERT_TRUE(c().Keys({"s"}));
  ASSERT_TRUE(c().ShowsInOrder({"Failure of an input phase", "UPS temperature too high"}));
  EXPECT_EQ("", c().Line(kBatteryLow));
  ASSERT_TRUE(c().Keys({"Escape", "r"}));
  ASSERT_TRUE(c().Shows("Continue ?"));
  ASSERT_TRUE(c().Keys({"y"}));
  ASSERT_TRUE(c().Shows(kPowerFailure));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  // The shipped defaults of every model and of the line-interactive ones.
  EXPECT_EQ("9", c().Saved("EventCounter"));
  EXPECT_EQ("0|$POPUP,*|$LOG|$MSLOG", c().Saved("Event0"));
}

TEST_F(Screens, EventsUnknownJobsHaveALineAndLongFilesAreCut) {
  // The unknown job between two known ones: D on its line deletes it, not
  // the log job after it.
  Begin(ServerConfig("Quillon 650", "EventCounter=1\nEvent0=2|$POPUP,*|$ODD,x|$LOG\n"));
  std::string many;
  for (int i = 0; i < 256; ++i) many += "0|$LOG\n";
  ASSERT_TRUE(WriteFile(c().tree().Path("many.evn"), many));
  ASSERT_TRUE(c().Open("Events Configuration", "EVENTS CONFIGURATION"));
  ASSERT_TRUE(c().ShowsInOrder({kPopup, "$ODD,x", kLog}));
  ASSERT_TRUE(c().Keys({"Down", "d"}));
  ASSERT_TRUE(c().ShowsInOrder({kPopup, kLog}, {"$ODD,x"}));
  ASSERT_TRUE(c().Keys({"l"}));
  ASSERT_TRUE(c().Shows("Open:"));
  ASSERT_TRUE(Enter("many.evn"));
  ASSERT_TRUE(Box("Only the first 255 events were loaded: the list was cut."));
  ASSERT_TRUE(Leave());
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("255", c().Saved("EventCounter"));
  EXPECT_EQ("0|$LOG", c().Saved("Event254"));
}

TEST_F(Screens, AdvancedSystemShutdownAndQsRowsAndRanges) {
  Begin(ServerConfig("Quillon 650", "QsAliveEnabled=0\n"));
  ASSERT_TRUE(c().Open("Advanced System Configuration", "ADVANCED SYSTEM CONFIGURATION"));
  ASSERT_TRUE(Enter("3600"));
  ASSERT_TRUE(Refused("0", 1, 65535));
  ASSERT_TRUE(Enter("5770"));
  ASSERT_TRUE(Enter("30"));
  ASSERT_TRUE(Refused("0", 1, 255));
  ASSERT_TRUE(Refused("256", 1, 255));
  ASSERT_TRUE(Enter("10"));
  ASSERT_TRUE(c().ShowsValue("UPS check rate [s]:", "10"));
  ASSERT_TRUE(c().Keys({"Escape", "Down", "Enter"}));
  ASSERT_TRUE(c().Shows("ADVANCED SHUTDOWN CONFIGURATION"));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("Allow shutdown from Scopewatch:", "Yes"));
  ASSERT_TRUE(Refused("0", 1, 35791394));
  ASSERT_TRUE(Enter("2"));
  ASSERT_TRUE(c().ShowsValue("Warning time for scheduled shutdown [m]:", "2"));
  ASSERT_TRUE(c().Keys({"Escape", "Down", "Down", "Enter"}));
  ASSERT_TRUE(c().Shows("ADVANCED QS SYSTEM CONFIGURATION"));
  // The port row is hidden: from row 1 the focus wraps to row 0.
  EXPECT_EQ("", c().Line("TCP/IP port for \"Check Wattkeep\":"));
  ASSERT_TRUE(c().Keys({"Down", "Down"}));
  ASSERT_TRUE(Enter("9"));
  ASSERT_TRUE(c().ShowsValue("QS Client timeout connection [s]:", "9"));
  ASSERT_TRUE(Pick(0));
  ASSERT_TRUE(c().ShowsValue("TCP/IP port for \"Check Wattkeep\":", "65000"));
  ASSERT_TRUE(Refused("65536", 1, 65535));
  ASSERT_TRUE(Enter("65001"));
  ASSERT_TRUE(c().Keys({"Escape", "Up", "Enter"}));
  ASSERT_TRUE(c().Shows("Events Configuration"));
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("3600", c().Saved("UpsRechargeTime"));
  EXPECT_EQ("5770", c().Saved("SrvListenPort"));
  EXPECT_EQ("30", c().Saved("SrvBroadcast"));
  EXPECT_EQ("10", c().Saved("SrvPollingUps"));
  EXPECT_EQ("1", c().Saved("SrvDownFromMonitor"));
  EXPECT_EQ("120", c().Saved("SrvDownWarningTime"));
  EXPECT_EQ("9", c().Saved("QsTimeoutConnection"));
  EXPECT_EQ("1", c().Saved("QsAliveEnabled"));
  EXPECT_EQ("65001", c().Saved("QsAlivePort"));
}

const char kTotal[] = "Total autonomy [s]:";
const char kLoad[] = "Load applied during the test [%]:";
const char kCapacity[] = "Actual battery capacity [%]:";

TEST_F(Screens, CalibrationTakesMinusOneAndResetsOnYes) {
  Begin(ServerConfig("Quillon 650",
                     "UpsAutonomyTime=900\nUpsLoadPercent=40\nUpsBatteryCapacity=90\n"));
  ASSERT_TRUE(c().Open("Autonomy Calibration Test Configuration",
                       "Autonomy Calibration Test Configuration"));
  ASSERT_TRUE(c().ShowsValue(kTotal, "900"));
  ASSERT_TRUE(Enter("1200"));
  ASSERT_TRUE(Refused("101", 0, 100));
  ASSERT_TRUE(Refused("-2", 0, 100));
  ASSERT_TRUE(Enter("-1"));
  ASSERT_TRUE(c().ShowsValue(kLoad, "-1"));
  ASSERT_TRUE(Enter("80"));
  // The blank row is passed over: the focus is on the button.
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows("Are you sure ?"));
  ASSERT_TRUE(c().Keys({"n"}));
  ASSERT_TRUE(c().Hides("Are you sure ?"));
  ASSERT_TRUE(c().ShowsValue(kTotal, "1200"));
  ASSERT_TRUE(c().ShowsValue(kCapacity, "80"));
  ASSERT_TRUE(c().Keys({"Enter"}));
  ASSERT_TRUE(c().Shows("Are you sure ?"));
  ASSERT_TRUE(c().Keys({"y"}));
  ASSERT_TRUE(c().ShowsValue(kTotal, "300"));
  ASSERT_TRUE(c().ShowsValue(kLoad, "-1"));
  ASSERT_TRUE(c().ShowsValue(kCapacity, "100"));
  ASSERT_TRUE(c().Keys({"Escape", "Up", "Enter"}));
  ASSERT_TRUE(c().Shows("Events Configuration"));
  ASSERT_TRUE(c().SaveAndExit());
  EXPECT_EQ("300", c().Saved("UpsAutonomyTime"));
  EXPECT_EQ("-1", c().Saved("UpsLoadPercent"));
  EXPECT_EQ("100", c().Saved("UpsBatteryCapacity"));
}

TEST_F(Screens, CalibrationIsReadOnlyWhileTheServerRuns) {
  const std::string config = ServerConfig(
      "Quillon 650", "UpsAutonomyTime=900\nUpsLoadPercent=40\nUpsBatteryCapacity=90\n");
  console_ = std::make_unique<TConsoleSession>(config);
  ASSERT_TRUE(c().StartServerStandIn());
  ASSERT_TRUE(c().StartMenu());
  ASSERT_TRUE(c().Open("Autonomy Calibration Test Configuration",
                       "Wattkeep is active - In order to edit these values:"));
  ASSERT_TRUE(
      c().ShowsInOrder({kTotal, kLoad, kCapacity,
                        "Wattkeep is active - In order to edit these values:", "  1. Stop Wattkeep",
                        "  2. Restart this program", "<< Press [ESC] to return to Main Menu >>"},
                       {"Reset Test Results"}));
  EXPECT_EQ("40", c().Value(kLoad));
  // Typing changes nothing; only ESC leaves, and the record is as before
  // when the screen is opened again.
  ASSERT_TRUE(c().Type("5"));
  ASSERT_TRUE(c().Keys({"Enter", "Down", "Enter", "Escape"}));
  ASSERT_TRUE(c().Shows("ADVANCED CONFIGURATION"));
  ASSERT_TRUE(c().Keys({"Down", "Down", "Down", "Enter"}));
  ASSERT_TRUE(c().ShowsValue(kTotal, "900"));
  ASSERT_TRUE(c().Keys({"Escape"}));
  ASSERT_TRUE(c().Shows("ADVANCED CONFIGURATION"));
  ASSERT_TRUE(c().Keys({"Up", "Enter"}));
  ASSERT_TRUE(c().Shows("Events Configuration"));
  ASSERT_TRUE(c().Keys({"Up", "Up", "Enter"}));
  ASSERT_TRUE(Box("Stop and restart Wattkeep to see changes !"));
  ASSERT_TRUE(c().EndedCleanly());
  EXPECT_EQ("900", c().Saved("UpsAutonomyTime"));
  EXPECT_EQ("40", c().Saved("UpsLoadPercent"));
}

}  // namespace
