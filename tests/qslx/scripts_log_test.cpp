// What the daemon's scripts receive and inherit, and how its event log is
// written, switched off and restarted.

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/qslx/daemon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

bool Blocked(uint64_t mask, int signal) {
  return (mask >> (signal - 1)) & 1;
}

// A started script keeps the daemon's blocked signals (Ctrl-C cannot stop it)
// but not what only the daemon's own threads block, and inherits none of its
// sockets.
void ExpectScriptEnvironment(const TScriptRun& run, const std::string& cwd) {
  for (int sig : {SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR2}) {
    EXPECT_TRUE(Blocked(run.blocked, sig)) << "signal " << sig << " should stay blocked";
  }
  for (int sig : {SIGHUP, SIGUSR1, SIGTERM, SIGCHLD}) {
    EXPECT_FALSE(Blocked(run.blocked, sig)) << "signal " << sig << " must reach the script";
  }
  for (const std::string& fd : run.fds) {
    EXPECT_EQ(fd.find("socket:"), std::string::npos) << "a daemon socket leaked: " << fd;
  }
  EXPECT_EQ(run.cwd, cwd);
}

TEST_F(DaemonTest, ScriptsGetOneArgumentTheBlockedMaskAndTheStartDirectory) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  // An idle connection is open while the script starts: it must not leak.
  int idle = ConnectOnly(Master());
  ASSERT_GE(idle, 0);
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  EXPECT_EQ(Order("<|1|1|Hello|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitUntil(
      [&] {
        return tree_->Runs("shutdown.sh").size() == 1 && tree_->Runs("message.sh").size() == 1;
      },
      3000));
  TScriptRun shutdown = tree_->Runs("shutdown.sh")[0];
  EXPECT_EQ(shutdown.argc, 1);
  EXPECT_EQ(shutdown.args, Lines{""});
  ExpectScriptEnvironment(shutdown, workdir_);
  TScriptRun message = tree_->Runs("message.sh")[0];
  EXPECT_EQ(message.argc, 1);
  EXPECT_EQ(message.args, Lines{"\"Hello\""});
  ExpectScriptEnvironment(message, workdir_);
  close(idle);
}

TEST_F(DaemonTest, RelativeScriptPathIsTakenFromTheStartDirectory) {
  ASSERT_TRUE(MakeDirs(workdir_ + "/rel"));
  ASSERT_TRUE(TDaemonTree::WriteRecorder(workdir_ + "/rel/third.sh", temp_->Sub("third.rec")));
  SetEntry(&config_, "ScriptCustom_3", "rel/third.sh");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|4|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("CUSTOM3 by 127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return ReadScriptRuns(temp_->Sub("third.rec")).size() == 1; }, 3000));
  EXPECT_EQ(ReadScriptRuns(temp_->Sub("third.rec"))[0].cwd, workdir_);
}

TEST_F(DaemonTest, EmptyCustomPathsAreLoggedButStartNothing) {
  SetEntry(&config_, "ScriptCustom_1", "");
  SetEntry(&config_, "ScriptCustom_2", "");
  EraseEntry(&config_, "ScriptCustom_3");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  for (const char* frame : {"<|1|2|>", "<|1|3|>", "<|1|4|>"}) {
    EXPECT_EQ(Order(frame).greeting, "<|ok|>");
  }
  ASSERT_TRUE(WaitForLogCount(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Command 3 logs its (empty) path first: a line with date, time and the
  // two blanks only.
  EXPECT_EQ(LogTexts(), (Lines{"START ", "CUSTOM1 by 127.0.0.1", "", "CUSTOM2 by 127.0.0.1",
                               "CUSTOM3 by 127.0.0.1"}));
  for (const char* script : {"custom1.sh", "custom2.sh", "custom3.sh"}) {
    EXPECT_TRUE(tree_->Runs(script).empty()) << script;
  }
}

TEST_F(DaemonTest, ProgramThatCannotStartIsLoggedAndLeavesNoSecondDaemon) {
  SetEntry(&config_, "ScriptShutdown", temp_->Sub("missing.sh"));
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  // A file without an interpreter line cannot be executed either.
  ASSERT_TRUE(WriteFile(tree_->Script("custom1.sh"), "echo no interpreter line\n", 0755));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  EXPECT_EQ(Order("<|1|2|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
  ASSERT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Daemons(), std::vector<pid_t>{daemon_pid_}) << "a failed start must end its child";
  EXPECT_EQ(Order("<|1|4|>").greeting, "<|ok|>");
  EXPECT_TRUE(WaitForLogText("CUSTOM3 by 127.0.0.1"));
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_EQ(LogTexts(), (Lines{"START ", "SHUTDOWN by 127.0.0.1", "CUSTOM1 by 127.0.0.1",
                               "CUSTOM3 by 127.0.0.1", "STOP"}));
}

TEST_F(DaemonTest, EndedScriptsAreReaped) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Order("<|1|2|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitUntil([&] { return tree_->Runs("custom1.sh").size() == 5; }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return ChildrenOf(daemon_pid_).empty(); }, 3000))
      << ChildrenOf(daemon_pid_).size() << " children left, zombies included";
}

TEST_F(DaemonTest, LogLinesCarryTodaysDateAndTime) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  std::string line = LinesOf(ReadFile(tree_->LogPath())).at(0);
  time_t now = time(nullptr);
  struct tm local;
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  char date[16];
  ASSERT_GT(strftime(date, sizeof date, "%d/%m/%Y ", &local), 0u);
  EXPECT_EQ(line.substr(0, 11), date) << line;
  EXPECT_EQ(line.substr(19), "  START ") << line;
}

TEST_F(DaemonTest, LogStartsAfreshAtItsMaximumSize) {
  SetEntry(&config_, "LogMaxSize", "1000");
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  // One byte under the limit: appended to.
  const std::string old_line(998, 'x');
  ASSERT_TRUE(WriteFile(tree_->LogPath(), old_line + "\n"));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  Lines lines = LinesOf(ReadFile(tree_->LogPath()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], old_line);
  // Now over the limit: the next event starts a new file holding only itself.
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
  EXPECT_EQ(LogTexts(), Lines{"SHUTDOWN by 127.0.0.1"});
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_EQ(LogTexts(), (Lines{"SHUTDOWN by 127.0.0.1", "STOP"}));
}

TEST_F(DaemonTest, LogOfExactlyTheLimitIsReplacedByTheNextEvent) {
  SetEntry(&config_, "LogMaxSize", "1000");
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  ASSERT_TRUE(WriteFile(tree_->LogPath(), std::string(999, 'y') + "\n"));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(LogTexts(), Lines{"START "});
}

TEST_F(DaemonTest, LogEnabledZeroWritesNoLog) {
  SetEntry(&config_, "LogEnabled", "0");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  EXPECT_EQ(Order("<|1|0|>", "127.0.0.2").greeting, "<|KO|>");
  ASSERT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == 1; }, 3000));
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_FALSE(FileExists(tree_->LogPath()));
}

TEST_F(DaemonTest, LogEnabledNotANumberKeepsTheLog) {
  SetEntry(&config_, "LogEnabled", "no");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(LogTexts(), Lines{"START "});
}

TEST_F(DaemonTest, UnwritableLogLosesLinesButNotOrders) {
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  ASSERT_TRUE(RemoveTree(tree_->root() + "data"));
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == 1; }, 3000));
  EXPECT_FALSE(ProcessGone(daemon_pid_));
  EXPECT_FALSE(FileExists(tree_->root() + "data"));
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_TRUE(WaitForOutputLine("QS System: daemon stopped", 1000));
}

}  // namespace
