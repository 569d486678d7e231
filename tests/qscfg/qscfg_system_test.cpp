// The slave module's configuration program in a real terminal: every screen
// edited and saved, the saved file loaded by the daemon's own loader, the
// masters list, the warnings, a save that fails, and the check without a
// screen.
#include <sys/mount.h>
#include <sys/stat.h>

#include "qslx/setup.h"
#include "tests/support/subprocess.h"
#include "tests/wkcfg/console_session.h"

namespace {

const char kMenu[] = "Scripts Configuration";

class QsSession : public TConsoleSession {
 public:
  explicit QsSession(const std::string& extra = "")
      : TConsoleSession([extra](const TConsoleTree& tree) { return SlaveConfig(tree, extra); }) {}

  // Opens the main menu's entry `index` (0-based, the separator skipped
  // over by the menu) and waits for its title.
  ::testing::AssertionResult Open(int index, const std::string& title) {
    std::vector<std::string> keys(static_cast<size_t>(index), "Down");
    keys.push_back("Enter");
    if (auto sent = Keys(keys); !sent) return sent;
    return Shows(title);
  }
  // Starts the program and waits for its main menu.
  ::testing::AssertionResult StartAtMenu() {
    if (auto started = Start(); !started) return started;
    return Shows(kMenu);
  }
  // ESC back to the main menu.
  ::testing::AssertionResult Back() {
    if (auto sent = Keys({"Escape"}); !sent) return sent;
    return Shows(kMenu);
  }
  // Types `text` and ENTER.
  ::testing::AssertionResult Enter(const std::string& text) {
    if (auto typed = Type(text); !typed) return typed;
    return Keys({"Enter"});
  }
  ::testing::AssertionResult SaveAndExit() { return Open(5, "status=0"); }
  ::testing::AssertionResult Exit() { return Open(6, "status=0"); }

  // The saved file as the daemon loads it; a failed load is a test failure.
  TQsSetupData Loaded() {
    TQsSetupData setup;
    EXPECT_TRUE(LoadQsSetup(tree().Path("bin/"), &setup)) << Config();
    return setup;
  }
  std::string Script(const std::string& name) const { return tree().Path("script/system/" + name); }
};

TEST(QsConfigScreens, EveryScreenEditedIsWhatTheDaemonLoads) {
  QsSession qs("Mine=kept\n");
  ASSERT_EQ(0, chmod(qs.tree().ConfigPath().c_str(), 0660));
  ASSERT_TRUE(qs.StartAtMenu());

  ASSERT_TRUE(qs.Open(0, "LISTEN PORT CONFIGURATION"));
  ASSERT_TRUE(qs.Enter("6123"));
  ASSERT_TRUE(qs.Back());

  ASSERT_TRUE(qs.Open(1, "MASTER SERVERS CONFIGURATION"));
  ASSERT_TRUE(qs.Keys({"Down"}));
  ASSERT_TRUE(qs.Enter("10.0.0.9"));
  ASSERT_TRUE(qs.Keys({"Enter"}));
  ASSERT_TRUE(qs.Shows("Master server:"));
  ASSERT_TRUE(qs.Enter("localhost"));
  ASSERT_TRUE(qs.Shows("2. localhost"));
  ASSERT_TRUE(qs.Back());

  ASSERT_TRUE(qs.Open(2, "EVENT LOG CONFIGURATION"));
  ASSERT_TRUE(qs.Keys({"Down"}));
  ASSERT_TRUE(qs.Enter("500"));
  ASSERT_TRUE(qs.Keys({"Enter", "Down", "Enter"}));
  ASSERT_TRUE(qs.Hides("Maximum file size"));
  ASSERT_TRUE(qs.Back());

  ASSERT_TRUE(qs.Open(3, "ALIVE CHECK CONFIGURATION"));
  ASSERT_TRUE(qs.Keys({"Enter", "Enter"}));
  for (const char* value : {"60", "5", "65001", "7", "2"}) ASSERT_TRUE(qs.Enter(value));
  ASSERT_TRUE(qs.Shows("Pause between attempts [s]:"));
  ASSERT_TRUE(qs.Back());

  ASSERT_TRUE(qs.Open(4, "SCRIPTS CONFIGURATION"));
  const std::string scripts[] = {qs.Script("custom1.sh"), qs.Script("custom2.sh"),
                                 qs.Script("message.sh"), qs.Script("shutdown.sh")};
  for (const std::string& path : scripts) {
    ASSERT_LT(path.size(), 56u) << "longer than the field";
    ASSERT_TRUE(qs.Enter(path));
  }
  ASSERT_TRUE(qs.Keys({"x", "BSpace", "Enter"}));
  ASSERT_TRUE(qs.Back());
  ASSERT_TRUE(qs.SaveAndExit());
  ASSERT_TRUE(qs.EndedCleanly());

  const TQsSetupData setup = qs.Loaded();
  EXPECT_EQ(6123, setup.ListenPort);
  EXPECT_EQ((TTextList{"10.0.0.9", "localhost"}), setup.Addresses);
  EXPECT_FALSE(setup.LogEnabled);
  EXPECT_EQ(500000, setup.LogMaxSize);
  EXPECT_TRUE(setup.Alive.Enabled);
  EXPECT_EQ(60, setup.Alive.Frequency);
  EXPECT_EQ(5, setup.Alive.Retries);
  EXPECT_EQ(65001, setup.Alive.Port);
  EXPECT_EQ(7, setup.Alive.TimeOut);
  EXPECT_EQ(2, setup.Alive.Delay);
  EXPECT_EQ(scripts[0], setup.ScriptShutdown);
  EXPECT_EQ(scripts[1], setup.ScriptMessage);
  EXPECT_EQ(scripts[2], setup.ScriptCustom_1);
  EXPECT_EQ(scripts[3], setup.ScriptCustom_2);
  EXPECT_EQ("", setup.ScriptCustom_3);
  EXPECT_NE(std::string::npos, qs.Config().find("Mine=kept\n"));
  struct stat st;
  ASSERT_EQ(0, stat(qs.tree().ConfigPath().c_str(), &st));
  EXPECT_EQ(0660u, st.st_mode & 07777);
}

TEST(QsConfigScreens, MasterListAddMoveDeleteInOrder) {
  QsSession qs;
  ASSERT_TRUE(qs.StartAtMenu());
  ASSERT_TRUE(qs.Open(1, "MASTER SERVERS CONFIGURATION"));
  ASSERT_TRUE(qs.Shows("> 1. 127.0.0.1"));
  // Focus on "Add": two more masters, the last one selected.
  ASSERT_TRUE(qs.Keys({"Down", "Down"}));
  for (const char* address : {"10.0.0.2", "10.0.0.3"}) {
    ASSERT_TRUE(qs.Keys({"Enter"}));
    ASSERT_TRUE(qs.Shows("Master server:"));
    ASSERT_TRUE(qs.Enter(address));
    ASSERT_TRUE(qs.Shows(std::string("> ") + (address[7] == '2' ? "2. " : "3. ") + address));
  }
  // Two rows below "Add" is "Move up": 10.0.0.3 goes to the top.
  ASSERT_TRUE(qs.Keys({"Down", "Down", "Enter", "Enter"}));
  ASSERT_TRUE(qs.Shows("> 1. 10.0.0.3"));
  // Past "Move down" the focus wraps to the list, which chooses 127.0.0.1
  // (now second); two rows on, past the blank one and "Add", "Delete"
  // removes it.
  ASSERT_TRUE(qs.Keys({"Down", "Down", "Enter", "Down", "Enter"}));
  ASSERT_TRUE(qs.Shows("> 2. 127.0.0.1"));
  ASSERT_TRUE(qs.Keys({"Down", "Down", "Enter"}));
  ASSERT_TRUE(qs.Shows("Delete the master server 127.0.0.1 ?"));
  ASSERT_TRUE(qs.Keys({"y"}));
  ASSERT_TRUE(qs.Shows("> 2. 10.0.0.2"));
  ASSERT_TRUE(qs.Back());
  ASSERT_TRUE(qs.SaveAndExit());
  EXPECT_EQ((TTextList{"10.0.0.3", "10.0.0.2"}), qs.Loaded().Addresses);
}

TEST(QsConfigScreens, DoubtfulValuesWarnAndAreKeptBadOnesAreRefused) {
  QsSession qs;
  ASSERT_TRUE(WriteFile(qs.Script("plain.sh"), "#!/bin/sh\n", 0644));
  ASSERT_TRUE(qs.StartAtMenu());
  ASSERT_TRUE(qs.Open(1, "MASTER SERVERS CONFIGURATION"));
  ASSERT_TRUE(qs.Keys({"Down"}));
  ASSERT_TRUE(qs.Enter("bad name"));
  ASSERT_TRUE(qs.Shows("Not a host name or dotted IPv4 address: bad name"));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.Enter("nowhere.invalid"));
  ASSERT_TRUE(qs.Shows("Warning: nowhere.invalid does not resolve now. It is kept."));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.Shows("! > 1. nowhere.invalid"));
  ASSERT_TRUE(qs.Back());

  ASSERT_TRUE(qs.Open(4, "SCRIPTS CONFIGURATION"));
  ASSERT_TRUE(qs.Keys({"x", "BSpace", "Enter"}));
  ASSERT_TRUE(qs.Shows("This field must not be empty."));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.Enter(qs.Script("none.sh")));
  ASSERT_TRUE(qs.Shows("Warning: this script does not exist."));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.Enter(qs.Script("plain.sh")));
  ASSERT_TRUE(qs.Shows("Warning: this script cannot be executed."));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.Shows("! = the daemon cannot start this script as it is"));
  ASSERT_TRUE(qs.Back());
  ASSERT_TRUE(qs.SaveAndExit());
  const TQsSetupData setup = qs.Loaded();
  EXPECT_EQ((TTextList{"nowhere.invalid"}), setup.Addresses);
  EXPECT_EQ(qs.Script("none.sh"), setup.ScriptShutdown);
  EXPECT_EQ(qs.Script("plain.sh"), setup.ScriptMessage);
}

TEST(QsConfigScreens, FailedSaveShowsTheSystemsTextAndLosesNothing) {
  QsSession qs;
  const std::string before = qs.Config();
  const std::string bin = qs.tree().Path("bin");
  ASSERT_EQ(0, mount(bin.c_str(), bin.c_str(), nullptr, MS_BIND, nullptr));
  ASSERT_EQ(0, mount(nullptr, bin.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr));
  ASSERT_TRUE(qs.StartAtMenu());
  ASSERT_TRUE(qs.Open(0, "LISTEN PORT CONFIGURATION"));
  ASSERT_TRUE(qs.Enter("7001"));
  ASSERT_TRUE(qs.Back());
  ASSERT_TRUE(qs.Open(5, "Read-only file system"));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.Shows(kMenu));
  EXPECT_EQ(before, qs.Config());
  // Writable again (the running program keeps the mount busy), the edit is
  // still there to be saved.
  ASSERT_EQ(0, umount2(bin.c_str(), MNT_DETACH));
  ASSERT_TRUE(qs.SaveAndExit());
  EXPECT_EQ(7001, qs.Loaded().ListenPort);
}

TEST(QsConfigScreens, SavingWhileTheDaemonRunsAsksForItsRestart) {
  QsSession qs;
  const std::string daemon = qs.tree().Path("bin/qslx");
  ASSERT_TRUE(WriteFile(daemon, ReadFile(VM_QSLX_PATH), 0755));
  TRunOptions options;
  options.stdout_path = qs.tree().Path("data/qslx.out");
  ASSERT_EQ(0, RunCommand({daemon}, options).exit_code);
  ASSERT_TRUE(WaitUntil(
      [] {
        const std::vector<pid_t> pids = ProcessesNamed("qslx");
        return pids.size() == 1 && ParentOf(pids[0]) == 1;
      },
      5000))
      << ReadFile(options.stdout_path);
  ASSERT_TRUE(qs.StartAtMenu());
  ASSERT_TRUE(qs.Open(5, "Stop and restart QS System to use the new settings !"));
  ASSERT_TRUE(qs.Keys({"x"}));
  ASSERT_TRUE(qs.EndedCleanly());
  EXPECT_EQ(0, RunCommand({daemon, "-s"}, options).exit_code);
  EXPECT_TRUE(WaitUntil([] { return ProcessesNamed("qslx").empty(); }, 5000));
}

TEST(QsConfigScreens, ExitLeavesTheFileByteForByte) {
  QsSession qs("; mine\nOdd = spaced\n");
  const std::string before = qs.Config();
  ASSERT_TRUE(qs.StartAtMenu());
  ASSERT_TRUE(qs.Open(0, "LISTEN PORT CONFIGURATION"));
  ASSERT_TRUE(qs.Enter("7001"));
  ASSERT_TRUE(qs.Back());
  ASSERT_TRUE(qs.Exit());
  ASSERT_TRUE(qs.EndedCleanly());
  EXPECT_EQ(before, qs.Config());
}

TEST(QsConfigScreens, StartNeedsTheInstallation) {
  QsSession qs;
  ASSERT_EQ(0, unlink(qs.tree().Path("languages/english.lng").c_str()));
  ASSERT_TRUE(qs.Start());
  ASSERT_TRUE(qs.Shows("Invalid setup. Pls. uninstall and then install this software again."));
  ASSERT_TRUE(qs.EndedCleanly());
}

// --check, run without a terminal.
TRunResult Check(const QsSession& qs, std::vector<std::string> arguments, int uid = -1) {
  arguments.insert(arguments.begin(), {qs.tree().Program(), "--check"});
  TRunOptions options;
  options.uid = uid;
  // Another user must reach the tree, as it would an administrator's copy.
  if (uid >= 0) {
    EXPECT_EQ(0, chmod(qs.tree().root().c_str(), 0755));
  }
  return RunCommand(arguments, options);
}

TEST(QsConfigCheck, SoundAndBrokenFiles) {
  const struct {
    std::string extra;
    int status;
    std::string line;
  } cases[] = {
      {"", 0, "no problem found"},
      {"AdrCount=0\n", 1, "qscfg: AdrCount: no master server is configured"},
      {"Adr0=nowhere.invalid\n", 1,
       "qscfg: Adr0: the host name \"nowhere.invalid\" does not resolve"},
      {"ListenPort=65536\n", 1, "qscfg: ListenPort: the listen port is 0"},
      {"ScriptMessage=\n", 1, "qscfg: ScriptMessage: the script is empty"},
      {"ScriptCustom_1=/nonexistent/c1.sh\n", 1, "\"/nonexistent/c1.sh\" does not exist"},
      {"AliveDelay=soon\n", 1, "qscfg: AliveDelay: \"soon\" is not a number; the daemon uses 1"},
      {"AliveFrequency=-1\n", 1, "qscfg: AliveFrequency: \"-1\" is out of range [10 - 2147483647]"},
      {"LogMaxSize=-5\n", 1, "qscfg: LogMaxSize: \"-5\" is out of range [1000 - 2147483000]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    QsSession qs(c.extra);
    const TRunResult result = Check(qs, {qs.tree().ConfigPath()}, 65534);
    EXPECT_EQ(c.status, result.exit_code) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.out.find(c.line)) << result.out;
  }
}

TEST(QsConfigCheck, TheInstallationsFileNeedsRoot) {
  QsSession qs("AdrCount=0\n");
  TRunResult result = Check(qs, {});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_NE(std::string::npos, result.out.find("AdrCount: no master server")) << result.out;
  result = Check(qs, {}, 65534);
  EXPECT_EQ(1, result.exit_code);
  EXPECT_NE(std::string::npos, result.out.find("Please login as root")) << result.out;
  result = Check(qs, {qs.tree().Path("bin/absent.cfg")});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_NE(std::string::npos, result.out.find("No such file or directory")) << result.out;
}

TEST(QsConfigCheck, HelpNamesTheCheckAndItsExitStatus) {
  QsSession qs;
  const TRunResult result = RunCommand({qs.tree().Program(), "-h"});
  EXPECT_EQ(0, result.exit_code);
  for (const char* part : {"--check [FILE]", "A FILE needs no root", "1 otherwise"})
    EXPECT_NE(std::string::npos, result.out.find(part)) << result.out;
}

}  // namespace
