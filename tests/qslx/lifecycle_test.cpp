// The daemon's command line, single instance, detaching, signals and its
// start and stop sequences, seen from outside.

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <thread>

#include "tests/qslx/daemon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

TEST_F(DaemonTest, VersionAndCreditsNeedNoSetup) {
  ASSERT_TRUE(MakeDirs(tree_->root() + "bin"));
  ASSERT_TRUE(WriteFile(tree_->Program(), ReadFile(QslxBinary()), 0755));

  TRunResult version = RunQslx({"-v", "ignored"});
  EXPECT_EQ(version.exit_code, 0);
  Lines lines = OutputLines();
  ASSERT_EQ(lines.size(), 4u) << Output();
  EXPECT_EQ(lines[0], "Voltmon Manager");
  EXPECT_EQ(lines[1], "QS System - Version 1.0.9.5");
  EXPECT_FALSE(lines[2].empty());
  EXPECT_EQ(lines[3], "");

  std::string credits_path = temp_->Sub("credits.out");
  TRunResult credits = RunQslx({"-cr"}, credits_path);
  EXPECT_EQ(credits.exit_code, 0);
  lines = LinesOf(ReadFile(credits_path));
  ASSERT_EQ(lines.size(), 2u) << ReadFile(credits_path);
  EXPECT_EQ(lines[0].rfind("Designed and developed by ", 0), 0u) << lines[0];
  EXPECT_GT(lines[0].size(), std::string("Designed and developed by ").size());
  EXPECT_EQ(lines[1], "");
  EXPECT_TRUE(Daemons().empty());
}

TEST_F(DaemonTest, NonRootGetsTheRootMessageWhateverTheArgument) {
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  // The other user must be able to reach the program.
  for (std::string dir = tree_->root() + "bin"; dir.size() > 1;
       dir = dir.substr(0, dir.rfind('/'))) {
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0) << dir;
    if (dir == temp_->path()) break;
  }
  const std::string expected = std::string(kRootMessage) + "\n\n";
  for (const std::string arg : {"-v", "-cr", "-s", "", "-x"}) {
    std::string out = temp_->Sub("nonroot" + std::to_string(arg.size()) + arg + ".out");
    std::vector<std::string> args;
    if (!arg.empty()) args.push_back(arg);
    TRunResult result = RunQslx(args, out, 65534);
    EXPECT_EQ(result.exit_code, 0) << "'" << arg << "' " << result.err;
    EXPECT_EQ(ReadFile(out), expected) << "'" << arg << "'";
  }
  EXPECT_TRUE(Daemons().empty());
  EXPECT_FALSE(FileExists(tree_->LogPath()));
}

TEST_F(DaemonTest, StopWithoutDaemonSaysSo) {
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  TRunResult result = RunQslx({"-s"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(Output(), "QS System: daemon not in progress\n\n");
}

TEST_F(DaemonTest, StartThenStopPrintsAndLogsTheSequence) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(OutputLines(), (Lines{"QS System: coming up...", "QS System: daemon started"}));
  // The "$" of the start text is removed, leaving the blank before it.
  EXPECT_EQ(LogTexts(), (Lines{"START "}));

  auto start = std::chrono::steady_clock::now();
  std::string stop_out = temp_->Sub("stop.out");
  TRunResult stop = RunQslx({"-s"}, stop_out);
  EXPECT_EQ(stop.exit_code, 0);
  EXPECT_EQ(ReadFile(stop_out), "") << "a successful stop request is silent";
  ASSERT_TRUE(WaitForDaemonGone(kGoneWithinMs));
  EXPECT_LT(MsSince(start), kPromptMs) << "the stop must not wait for the 10-second pass";
  EXPECT_EQ(OutputLines(), (Lines{"QS System: coming up...", "QS System: daemon started",
                                  "QS System: coming down...", "QS System: daemon stopped"}));
  EXPECT_EQ(LogTexts(), (Lines{"START ", "STOP"}));
}

TEST_F(DaemonTest, SecondStartNamesTheRunningDaemon) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  std::string second = temp_->Sub("second.out");
  TRunResult result = RunQslx({}, second);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(ReadFile(second),
            "QS System: daemon already in progress on PID " + std::to_string(daemon_pid_) + "\n\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Daemons(), std::vector<pid_t>{daemon_pid_});
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>") << "the running daemon is untouched";
  EXPECT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
  EXPECT_EQ(LogTexts().front(), "START ") << "the second start logs nothing";
}

class FirstArgumentTest : public DaemonTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FirstArgumentTest, AnythingButTheThreeRequestsStartsTheDaemon) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon({GetParam()}));
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_EQ(LogTexts(), (Lines{"START ", "STOP"}));
}

INSTANTIATE_TEST_SUITE_P(DaemonTest, FirstArgumentTest,
                         ::testing::Values("-V", "-S", "-vv", "-s ", "--cr"));

TEST_F(DaemonTest, SigtermEndsAtOnceWithoutTheStopSequence) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(daemon_pid_, SIGTERM), 0);
  ASSERT_TRUE(WaitForDaemonGone(kGoneWithinMs));
  EXPECT_LT(MsSince(start), kPromptMs);
  EXPECT_EQ(OutputLines(), (Lines{"QS System: coming up...", "QS System: daemon started"}));
  EXPECT_EQ(LogTexts(), (Lines{"START "}));
}

TEST_F(DaemonTest, SighupReloadsNothing) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  TConfigEntries changed = config_;
  SetEntry(&changed, "Adr0", "127.0.0.9");
  SetEntry(&changed, "ScriptShutdown", tree_->Script("custom3.sh"));
  ASSERT_TRUE(tree_->WriteConfig(changed));
  ASSERT_EQ(kill(daemon_pid_, SIGHUP), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_FALSE(ProcessGone(daemon_pid_));

  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
  EXPECT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == 1; }, 3000));
  EXPECT_TRUE(tree_->Runs("custom3.sh").empty());
  EXPECT_EQ(Output().find("coming down"), std::string::npos);
}

TEST_F(DaemonTest, BlockedSignalsLeaveTheDaemonServing) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  for (int sig : {SIGINT, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR2}) {
    ASSERT_EQ(kill(daemon_pid_, sig), 0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_FALSE(ProcessGone(daemon_pid_));
  EXPECT_EQ(Order("<|1|2|>").greeting, "<|ok|>");
  EXPECT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));
  // A peer that vanishes while the daemon writes to it must not kill it.
  int fd = ConnectOnly(Master());
  ASSERT_GE(fd, 0);
  struct linger hard = {1, 0};
  ASSERT_EQ(setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
  close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_FALSE(ProcessGone(daemon_pid_));
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_EQ(LogTexts().back(), "STOP");
}

// One way of spoiling the setup: a change of the configuration before the
// tree is built, or of the built tree.
struct InvalidSetup {
  const char* name;
  std::function<void(TConfigEntries*)> change_config;
  std::function<void(const TDaemonTree&)> change_tree;
};

void PrintTo(const InvalidSetup& setup, std::ostream* os) {
  *os << setup.name;
}

class InvalidSetupTest : public DaemonTest, public ::testing::WithParamInterface<InvalidSetup> {};

TEST_P(InvalidSetupTest, AlertsAndEndsWithoutStarting) {
  if (GetParam().change_config) GetParam().change_config(&config_);
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  if (GetParam().change_tree) GetParam().change_tree(*tree_);
  TRunResult starter = RunQslx({});
  EXPECT_EQ(starter.exit_code, 0);
  ASSERT_TRUE(WaitForOutputLine(kInvalidSetup, 5000)) << Output();
  EXPECT_EQ(OutputLines(), (Lines{"QS System: coming up...", kInvalidSetup}));
  EXPECT_TRUE(WaitForDaemonGone(3000)) << "the detached process must end";
  EXPECT_FALSE(FileExists(tree_->LogPath()));
}

InvalidSetup Set(const char* name, const std::string& key, const std::string& value) {
  return {name, [=](TConfigEntries* config) { SetEntry(config, key, value); }, nullptr};
}

InvalidSetup Erase(const char* name, const std::string& key) {
  return {name, [=](TConfigEntries* config) { EraseEntry(config, key); }, nullptr};
}

InvalidSetup SuiteSettings(const char* name, const std::string& globals) {
  return {name, nullptr, [=](const TDaemonTree& tree) {
            std::string text = globals;
            for (size_t at; (at = text.find("ROOT")) != std::string::npos;) {
              text.replace(at, 4, tree.root());
            }
            WriteFile(tree.SuiteSettingsPath(), "[Globals]\n" + text);
          }};
}

INSTANTIATE_TEST_SUITE_P(
    DaemonTest, InvalidSetupTest,
    ::testing::Values(
        Set("AdrCountZero", "AdrCount", "0"), Erase("AdrCountMissing", "AdrCount"),
        Set("AdrCountLow16BitsZero", "AdrCount", "65536"),
        Set("AdrCountNotANumber", "AdrCount", "one"), Set("ListenPortZero", "ListenPort", "0"),
        Erase("ListenPortMissing", "ListenPort"), Set("ListenPort65536", "ListenPort", "65536"),
        Erase("ScriptShutdownMissing", "ScriptShutdown"),
        Set("ScriptMessageEmpty", "ScriptMessage", ""),
        InvalidSetup{"ConfigFileMissing", nullptr,
                     [](const TDaemonTree& tree) { unlink(tree.ConfigPath().c_str()); }},
        InvalidSetup{"SuiteSettingsMissing", nullptr,
                     [](const TDaemonTree& tree) { unlink(tree.SuiteSettingsPath().c_str()); }},
        SuiteSettings("InstallPathMissing", "LanguageFile=test.lng\n"),
        SuiteSettings("LanguageFileMissing", "InstallPath=ROOT\nLanguageFile=none.lng\n"),
        SuiteSettings("LanguageFileKeyMissing", "InstallPath=ROOT\n")),
    [](const ::testing::TestParamInfo<InvalidSetup>& info) { return info.param.name; });

// What the daemon wrote to the terminal at `master` so far.
std::string TerminalOutput(int master) {
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

TEST_F(DaemonTest, AlertsRingTheBellOnTheTerminal) {
  int master = -1;
  int terminal = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(fcntl(terminal, F_SETFD, FD_CLOEXEC), 0);
  ASSERT_EQ(fcntl(master, F_SETFL, O_NONBLOCK), 0);
  SetEntry(&config_, "ListenPort", "0");
  ASSERT_NO_FATAL_FAILURE(BuildTree());

  RunQslx({}, "", -1, terminal);
  ASSERT_TRUE(WaitForOutputLine(kInvalidSetup, 5000)) << Output();
  ASSERT_TRUE(WaitForDaemonGone(3000));
  EXPECT_EQ(TerminalOutput(master), "\a") << "one bell, on standard error, for the alert";
  EXPECT_EQ(Output().find('\a'), std::string::npos) << "no bell among the lines";

  std::string other = temp_->Sub("other.out");
  ASSERT_EQ(chmod(temp_->path().c_str(), 0755), 0);
  RunQslx({"-v"}, other, 65534, terminal);
  EXPECT_EQ(ReadFile(other), std::string(kRootMessage) + "\n\n");
  EXPECT_EQ(TerminalOutput(master), "\a");

  // A startup error rings before the lookup of its text and again with it.
  int holder = ListenOn("0.0.0.0", port_);
  ASSERT_GE(holder, 0);
  SetEntry(&config_, "ListenPort", std::to_string(port_));
  ASSERT_TRUE(tree_->WriteConfig(config_));
  std::string busy = temp_->Sub("busy.out");
  RunQslx({}, busy, -1, terminal);
  ASSERT_TRUE(WaitUntil([&] { return LinesOf(ReadFile(busy)).size() >= 2; }, 5000));
  ASSERT_TRUE(WaitForDaemonGone(3000));
  EXPECT_EQ(TerminalOutput(master), "\a\a");
  close(holder);
  close(terminal);
  close(master);
}

TEST_F(DaemonTest, PortInUseReportsTheErrorWithThePort) {
  int holder = ListenOn("0.0.0.0", port_);
  ASSERT_GE(holder, 0);
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  const std::string port = std::to_string(port_);

  TRunResult starter = RunQslx({});
  EXPECT_EQ(starter.exit_code, 0);
  const std::string with_text =
      "Error Code: 98 - Port " + port + " is already in use. Please check the setup.";
  ASSERT_TRUE(WaitForOutputLine(with_text, 5000)) << Output();
  EXPECT_EQ(OutputLines(), (Lines{"QS System: coming up...", with_text}));
  EXPECT_TRUE(WaitForDaemonGone(3000));

  // Without a text for the code the system's description stands in.
  std::string language = kTestLanguage;
  language.erase(language.find("98="),
                 language.find('\n', language.find("98=")) - language.find("98=") + 1);
  ASSERT_TRUE(WriteFile(tree_->root() + "languages/test.lng", language));
  std::string second = temp_->Sub("second.out");
  RunQslx({}, second);
  const std::string without_text = "Address already in use (error code: 98)";
  EXPECT_TRUE(WaitUntil([&] { return LinesOf(ReadFile(second)).size() >= 2; }, 5000));
  EXPECT_EQ(LinesOf(ReadFile(second)), (Lines{"QS System: coming up...", without_text}));
  EXPECT_TRUE(WaitForDaemonGone(3000));
  EXPECT_FALSE(FileExists(tree_->LogPath()));
  close(holder);
}

}  // namespace
