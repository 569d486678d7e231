// The console's program flow in a real terminal: start, menus, the ways
// out and what each leaves on disk and in the terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "common/scramble.h"
#include "tests/support/subprocess.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kTitle[] = "Wattkeep Configuration";
const char kInvalidSetup[] =
    "\r\n\aInvalid setup. Pls. uninstall and then install this software again.\r\n\r\n";
const char kNotice[] = "Stop and restart Wattkeep to see changes !";
const char kAsNobody[] = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

TEST(ConsoleFlow, ExitLeavesTheConfigurationByteForByte) {
  const std::string config = ServerConfig(kTestModel, "Unknown=kept\r\n[Other]\nx=1\n");
  TConsoleSession console(config);
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows("Events Configuration"));
  ASSERT_TRUE(console.Keys({"Up", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
  EXPECT_EQ(config, console.Config());
}

TEST(ConsoleFlow, TerminationSignalsGiveTheTerminalBackAndSaveNothing) {
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    SCOPED_TRACE(signal);
    TConsoleSession console;
    const std::string before = console.Config();
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.Shows(kTitle));
    ASSERT_TRUE(console.Signal(signal));
    ASSERT_TRUE(console.EndedCleanly());
    EXPECT_EQ(before, console.Config());
  }
}

TEST(ConsoleFlow, InterruptKeysEndTheConsoleCleanlyInAnyScreen) {
  const struct {
    const char* key;
    const char* entry;
    const char* title;
  } cases[] = {
      {"C-c", "Shutdown Configuration", "SHUTDOWN CONFIGURATION"},
      {"C-\\", "Events Configuration", "EVENTS CONFIGURATION"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    TConsoleSession console;
    const std::string before = console.Config();
    ASSERT_TRUE(console.StartMenu());
    ASSERT_TRUE(console.Open(c.entry, c.title));
    ASSERT_TRUE(console.Keys({c.key}));
    ASSERT_TRUE(console.EndedCleanly());
    EXPECT_EQ(before, console.Config());
  }
}

TEST(ConsoleFlow, StartupFailuresPrintTheirLinesWithTheBellAndStartNoScreen) {
  const struct {
    const char* name;
    std::function<bool(const TConsoleTree&)> spoil;
    std::string config;
    std::string output;
  } cases[] = {
      {"no suite settings",
       [](const TConsoleTree& t) { return unlink(t.Path("bin/voltmon.cfg").c_str()) == 0; },
       ServerConfig(kTestModel), kInvalidSetup},
      {"no language file",
       [](const TConsoleTree& t) { return unlink(t.Path("languages/english.lng").c_str()) == 0; },
       ServerConfig(kTestModel), kInvalidSetup},
      {"no language named",
       [](const TConsoleTree& t) {
         return WriteFile(t.Path("bin/voltmon.cfg"),
                          "[Globals]\nInstallPath=" + t.root() + "\nLanguageFile=\n");
       },
       ServerConfig(kTestModel), kInvalidSetup},
      {"no model database",
       [](const TConsoleTree& t) { return unlink(t.Path("bin/upsdb.ups").c_str()) == 0; },
       ServerConfig(kTestModel), kInvalidSetup},
      {"unreadable model line",
       [](const TConsoleTree& t) {
         return WriteFile(t.Path("bin/upsdb.ups"), Scramble("Broken 1|LI|400") + "\n");
       },
       ServerConfig("Broken 1"),
       "\aThe data of the selected UPS model cannot be read from the model database.\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TConsoleSession console(c.config);
    ASSERT_TRUE(c.spoil(console.tree()));
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.EndedCleanly());
    const std::string output = console.Output();
    EXPECT_EQ(c.output, output.substr(0, c.output.size()));
    EXPECT_EQ(std::string::npos, output.find(kTitle));
  }
}

TEST(ConsoleFlow, CreditsNeedNoRootButTheConsoleDoes) {
  const struct {
    const char* prefix;
    const char* arguments;
    const char* output;
  } cases[] = {
      {"", "-cr", "Designed and developed by the Voltmon Manager team\r\n"},
      {kAsNobody, "-cr", "Designed and developed by the Voltmon Manager team\r\n"},
      {kAsNobody, "", "\aPlease login as root to use this program !\r\n\r\n"},
      {kAsNobody, "-cr extra", "Designed and developed by the Voltmon Manager team\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.prefix) + c.arguments);
    TConsoleSession console;
    // The other user must reach the program in the private tree.
    ASSERT_EQ(0, chmod(console.tree().root().c_str(), 0755));
    ASSERT_TRUE(console.Start(c.arguments, 80, 25, c.prefix));
    ASSERT_TRUE(console.EndedCleanly());
    const std::string output = console.Output();
    EXPECT_EQ(c.output, output.substr(0, std::string(c.output).size()));
    EXPECT_EQ(std::string::npos, output.find(kTitle));
  }
}

// A session of the master's console on a sound configuration, or of the
// slave module's.
std::unique_ptr<TConsoleSession> SessionOf(TConsoleKind kind) {
  if (kind == TConsoleKind::kMaster) return std::make_unique<TConsoleSession>();
  return std::make_unique<TConsoleSession>([](const TConsoleTree& t) { return SlaveConfig(t); });
}

// Both consoles, in a terminal: usage and version are printed and no screen
// is started, whatever the installation.
TEST(ConsoleFlow, UsageAndVersionStartNoScreen) {
  const struct {
    TConsoleKind kind;
    const char* arguments;
    const char* output;
  } cases[] = {
      {TConsoleKind::kMaster, "-h", "Usage: wkcfg [-h | -v | -cr]\r\n"},
      {TConsoleKind::kMaster, "--help", "Usage: wkcfg [-h | -v | -cr]\r\n"},
      {TConsoleKind::kMaster, "-v",
       "Voltmon Manager\r\nWattkeep Configuration - Version 1.0.16.0\r\n"},
      {TConsoleKind::kSlave, "-h", "Usage: qscfg [-h] [-v] [-cr] [--check [FILE]]\r\n"},
      {TConsoleKind::kSlave, "-v",
       "Voltmon Manager\r\nQS System Configuration - Version 1.0.9.5\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const std::unique_ptr<TConsoleSession> session = SessionOf(c.kind);
    TConsoleSession& console = *session;
    ASSERT_TRUE(console.Start(c.arguments));
    ASSERT_TRUE(console.EndedCleanly());
    const std::string output = console.Output();
    EXPECT_EQ(c.output, output.substr(0, std::string(c.output).size())) << output;
    EXPECT_EQ(std::string::npos, output.find("Invalid setup")) << output;
  }
}

// A second console on the same file, while the first is open, says so and
// ends with status 0; the first goes on undisturbed. The lock needs no
// file of its own: a read-only bin/ opens as before.
TEST(ConsoleFlow, SecondConsoleIsRefusedWhileTheFirstIsOpen) {
  const struct {
    TConsoleKind kind;
    const char* title;
    const char* file;
    bool read_only;
  } cases[] = {
      {TConsoleKind::kMaster, kTitle, "bin/wksrv.cfg", false},
      {TConsoleKind::kSlave, "QS System Configuration", "bin/qslx.cfg", false},
      {TConsoleKind::kMaster, kTitle, "bin/wksrv.cfg", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.read_only ? " read-only" : ""));
    const std::unique_ptr<TConsoleSession> session = SessionOf(c.kind);
    TConsoleSession& first = *session;
    const TUnmountAtEnd unmount(first.tree().Path("bin"));
    if (c.read_only) {
      ASSERT_TRUE(MountReadOnly(first.tree().Path("bin")));
    }
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.Shows(c.title));
    const std::string second = first.RunBeside();
    EXPECT_NE(std::string::npos,
              second.find(first.tree().Path(c.file) + " is open in another configuration console"))
        << second;
    EXPECT_NE(std::string::npos, second.find("status=0")) << second;
    EXPECT_EQ(std::string::npos, second.find(c.title)) << second;
    EXPECT_TRUE(first.Shows(c.title));
  }
}

TEST(ConsoleFlow, WithoutATerminalTheConsoleSaysWhyAndEnds) {
  const struct {
    const char* environment;
    const char* arguments;
    const char* message;
  } cases[] = {
      {"", "</dev/null", "wkcfg: needs a terminal: standard input and output must be one"},
      {"", "| cat", "wkcfg: needs a terminal: standard input and output must be one"},
      {"TERM= ", "", "wkcfg: TERM is not set: cannot drive the terminal"},
      {"TERM=no-such-terminal ", "", "wkcfg: the terminal type \"no-such-terminal\" is unknown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TConsoleSession console;
    const std::string before = console.Config();
    ASSERT_TRUE(console.Start(c.arguments, 80, 25, c.environment));
    ASSERT_TRUE(console.EndedCleanly());
    EXPECT_TRUE(console.Shows(c.message));
    EXPECT_EQ(before, console.Config());
  }
}

TEST(ConsoleFlow, PasswordIsMaskedAndAskedAgainUntilRight) {
  TConsoleSession console(ServerConfig(kTestModel, "SrvMainPassword=" + Scramble("s3cret") + "\n"));
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows("Password:"));
  ASSERT_TRUE(console.Type("wrong"));
  ASSERT_TRUE(console.Shows("*****"));
  EXPECT_EQ(std::string::npos, console.Screen().find("wrong"));
  ASSERT_TRUE(console.Keys({"Enter"}));
  ASSERT_TRUE(console.Shows("Wrong password !"));
  EXPECT_EQ(std::string::npos, console.Screen().find(kTitle));
  ASSERT_TRUE(console.Keys({"Space"}));
  ASSERT_TRUE(console.Hides("Wrong password !"));
  ASSERT_TRUE(console.Type("s3cret"));
  ASSERT_TRUE(console.Shows("******"));
  ASSERT_TRUE(console.Keys({"Enter"}));
  ASSERT_TRUE(console.Shows(kTitle));
  ASSERT_TRUE(console.Keys({"Up", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
}

TEST(ConsoleFlow, CancelledPasswordEndsWithoutMenuOrSave) {
  const struct {
    const char* typed;
    const char* key;
  } cases[] = {{"", "Escape"}, {"   ", "Enter"}, {"ab", "Escape"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.typed + "\" " + c.key);
    const std::string config = ServerConfig(kTestModel, "SrvMainPassword=" + Scramble("x") + "\n");
    TConsoleSession console(config);
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.Shows("Password:"));
    ASSERT_TRUE(console.Type(c.typed));
    // ESC after typing only abandons the typing; a second one cancels.
    ASSERT_TRUE(console.Keys({c.key}));
    if (*c.typed != '\0' && std::string(c.key) == "Escape") {
      ASSERT_TRUE(console.Hides("**"));
      EXPECT_FALSE(console.term().Ended());
      ASSERT_TRUE(console.Keys({"Escape"}));
    }
    ASSERT_TRUE(console.EndedCleanly());
    EXPECT_EQ(std::string::npos, console.Output().find(kTitle));
    EXPECT_EQ(config, console.Config());
  }
}

TEST(ConsoleFlow, WithoutAKnownModelTheMenuHasThreeEntriesAndTheThirdIsExit) {
  for (const std::string& config : {ServerConfig("No Such Model"), std::string()}) {
    SCOPED_TRACE(config);
    TConsoleSession console(config);
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.ShowsInOrder({kTitle, "System Configuration", "Exit"}));
    const std::string screen = console.Screen();
    for (const std::string& entry : kMainMenu) {
      if (entry != "System Configuration" && entry != "Exit" && !entry.empty()) {
        EXPECT_EQ(std::string::npos, screen.find(entry)) << entry;
      }
    }
    ASSERT_TRUE(console.Keys({"Down", "Enter"}));
    ASSERT_TRUE(console.EndedCleanly());
    EXPECT_EQ(config, console.Config());
  }
}

TEST(ConsoleFlow, ArrowsTypedBeforeTheFirstFrameAreKept) {
  TConsoleSession console;
  // The shell's read takes the first Enter; the arrow waits in the terminal,
  // sent as the keypad sends it before the console switches keypad mode on.
  ASSERT_TRUE(console.Start("", 80, 25, "read go; "));
  ASSERT_TRUE(console.Keys({"Enter", "Down", "Enter"}));
  ASSERT_TRUE(console.Shows("SHUTDOWN CONFIGURATION"));
}

TEST(ConsoleFlow, FullMenuAndAdvancedSubmenuFollowTheModel) {
  const struct {
    const char* model;
    bool calibration;
  } cases[] = {{"Quillon 650", true}, {"Pellik Mini 400", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    TConsoleSession console(ServerConfig(c.model));
    ASSERT_TRUE(console.Start());
    std::vector<std::string> menu = kMainMenu;
    menu.insert(menu.begin(), "Voltmon Manager - Wattkeep Configuration [Version 1.0.16.0]");
    ASSERT_TRUE(console.ShowsInOrder(menu));
    ASSERT_TRUE(console.Open("Advanced Configuration", "ADVANCED CONFIGURATION"));
    ASSERT_TRUE(
        console.ShowsInOrder({"Advanced System Configuration", "Advanced Shutdown Configuration",
                              "Advanced QS System Configuration", "Return to Main Menu"}));
    const std::string screen = console.Screen();
    EXPECT_EQ(c.calibration,
              screen.find("Autonomy Calibration Test Configuration") != std::string::npos);
    // "Return to Main Menu" is the last entry, one up from the first.
    ASSERT_TRUE(console.Keys({"Up", "Enter"}));
    ASSERT_TRUE(console.Shows("Events Configuration"));
    ASSERT_TRUE(console.Keys({"Up", "Enter"}));
    ASSERT_TRUE(console.EndedCleanly());
  }
}

TEST(ConsoleFlow, SaveAndExitWritesAndNotifiesOnlyWhileTheServerRuns) {
  for (bool server : {false, true}) {
    SCOPED_TRACE(server);
    TConsoleSession console;
    if (server) {
      ASSERT_TRUE(console.StartServerStandIn());
    }
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.Shows(kTitle));
    ASSERT_TRUE(console.Keys({"Up", "Up", "Enter"}));
    if (server) {
      ASSERT_TRUE(console.Shows(kNotice));
      EXPECT_FALSE(console.term().Ended());
      ASSERT_TRUE(console.Keys({"Space"}));
    }
    ASSERT_TRUE(console.EndedCleanly());
    if (!server) {
      EXPECT_EQ(std::string::npos, console.Output().find(kNotice));
    }
    EXPECT_EQ(kTestModel, console.Saved("UpsModelName"));
    EXPECT_EQ("5769", console.Saved("SrvListenPort"));
    // A running server owns the calibration results: not written over.
    EXPECT_EQ(server ? "<none>" : "300", console.Saved("UpsAutonomyTime"));
  }
}

TEST(ConsoleFlow, FailedSaveIsShownAndTheEditsStay) {
  TConsoleSession console;
  ASSERT_TRUE(console.StartMenu());
  // Loaded at start; a directory in its place cannot be written over.
  const std::string path = console.tree().ConfigPath();
  ASSERT_EQ(0, unlink(path.c_str()));
  ASSERT_EQ(0, mkdir(path.c_str(), 0755));
  ASSERT_TRUE(console.Open("Advanced System Configuration", "ADVANCED SYSTEM CONFIGURATION"));
  ASSERT_TRUE(console.Keys({"Down"}));
  ASSERT_TRUE(console.Type("5999"));
  ASSERT_TRUE(console.Keys({"Enter", "Escape", "Up", "Enter"}));
  ASSERT_TRUE(console.Shows("Events Configuration"));
  ASSERT_TRUE(console.Keys({"Up", "Up", "Enter"}));
  ASSERT_TRUE(console.Shows("Is a directory"));
  ASSERT_TRUE(console.Keys({"Space"}));
  ASSERT_TRUE(console.Hides("Is a directory"));
  EXPECT_FALSE(console.term().Ended());
  ASSERT_EQ(0, rmdir(path.c_str()));
  ASSERT_TRUE(console.SaveAndExit());
  EXPECT_EQ("5999", console.Saved("SrvListenPort"));
}

TEST(ConsoleFlow, ResizeRedrawsTheMenuAndTooSmallWaitsForALargerTerminal) {
  TConsoleSession console;
  ASSERT_TRUE(console.Start());
  ASSERT_TRUE(console.Shows(kTitle));
  const size_t narrow = console.Line(kTitle).find("Voltmon");
  ASSERT_TRUE(console.term().Resize(100, 30));
  ASSERT_TRUE(WaitUntil([&] { return console.Line(kTitle).find("Voltmon") == narrow + 10; }, 5000))
      << console.Screen();
  ASSERT_TRUE(console.term().Resize(60, 20));
  ASSERT_TRUE(console.Shows("Terminal too small: 80x24 needed, 60x20 found."));
  ASSERT_TRUE(console.Hides(kTitle));
  // Keys are not taken for the hidden menu while it is too small.
  ASSERT_TRUE(console.Keys({"Up", "Enter"}));
  ASSERT_TRUE(console.term().Resize(80, 24));
  ASSERT_TRUE(console.Shows(kTitle));
  ASSERT_TRUE(console.Hides("Terminal too small"));
  EXPECT_FALSE(console.term().Ended());
  ASSERT_TRUE(console.Keys({"Up", "Enter"}));
  ASSERT_TRUE(console.EndedCleanly());
}

TEST(ConsoleFlow, StartedTooSmallItWaitsAndEndsOrGoesOn) {
  for (bool enlarge : {true, false}) {
    SCOPED_TRACE(enlarge);
    TConsoleSession console;
    ASSERT_TRUE(console.Start("", 70, 20));
    ASSERT_TRUE(console.Shows("Terminal too small: 80x24 needed, 70x20 found. Please enlarge it."));
    if (enlarge) {
      ASSERT_TRUE(console.term().Resize(81, 24));
      ASSERT_TRUE(console.Shows(kTitle));
      ASSERT_TRUE(console.Keys({"Up", "Enter"}));
    } else {
      ASSERT_TRUE(console.Keys({"C-c"}));
    }
    ASSERT_TRUE(console.EndedCleanly());
  }
}

}  // namespace
