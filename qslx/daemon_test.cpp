#include "qslx/daemon.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "common/lang.h"
#include "gtest/gtest.h"
#include "qslx/signals.h"
#include "tests/support/test_tree.h"

namespace {

TEST(CommandLine, OnlyTheExactFirstArgumentCounts) {
  const char* none[] = {"qslx"};
  EXPECT_EQ(TQsRequest::kStart, ParseQsCommandLine(1, none));
  const char* version[] = {"qslx", "-v", "-s"};
  EXPECT_EQ(TQsRequest::kVersion, ParseQsCommandLine(3, version));
  const char* credits[] = {"qslx", "-cr"};
  EXPECT_EQ(TQsRequest::kCredits, ParseQsCommandLine(2, credits));
  const char* stop[] = {"qslx", "-s"};
  EXPECT_EQ(TQsRequest::kStop, ParseQsCommandLine(2, stop));
  for (const char* help : {"-h", "--help"}) {
    const char* argv[] = {"qslx", help};
    EXPECT_EQ(TQsRequest::kHelp, ParseQsCommandLine(2, argv)) << help;
  }
  for (const char* other : {"-V", "-S", "-s ", "--s", "-crx", "v", "-H", "--Help", ""}) {
    const char* argv[] = {"qslx", other};
    EXPECT_EQ(TQsRequest::kStart, ParseQsCommandLine(2, argv)) << other;
  }
}

class StartupErrorTest : public ::testing::Test {
 protected:
  StartupErrorTest() {
    tree.Write("languages/english.lng",
               "[ERRORS]\n100001=Check the settings.\n100002=No server.\n"
               "98=Port $ is in use.\n13=Port $ is^closed.\n");
    SetLanguageFilePath(tree.Path("languages/english.lng"));
  }
  TTestTree tree;
};

TEST_F(StartupErrorTest, KnownCodeGetsItsTextThePortAndTheTrailer) {
  EXPECT_EQ("Error Code: 98 - Port 6005 is in use. Check the settings.",
            StartupErrorText(98, "6005"));
  EXPECT_EQ("Error Code: 13 - Port 80 is\rclosed. Check the settings.", StartupErrorText(13, "80"));
  EXPECT_EQ("Error Code: 100002 - No server. Check the settings.", StartupErrorText(100002, ""));
}

TEST_F(StartupErrorTest, UnknownCodeFallsBackToTheSystemDescription) {
  EXPECT_EQ(std::string(strerror(EADDRNOTAVAIL)) + " (error code: 99)", StartupErrorText(99, "1"));
}

// Restores the signal state a test changes.
class SignalTest : public ::testing::Test {
 protected:
  SignalTest() {
    pthread_sigmask(SIG_SETMASK, nullptr, &saved_mask_);
    for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGCHLD}) sigaction(s, nullptr, &saved_[s]);
    ResetSignalFlags();
  }
  ~SignalTest() override {
    for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGCHLD}) sigaction(s, &saved_[s], nullptr);
    pthread_sigmask(SIG_SETMASK, &saved_mask_, nullptr);
    ResetSignalFlags();
  }
  sigset_t saved_mask_;
  struct sigaction saved_[NSIG];
};

TEST_F(SignalTest, EachSignalSetsOnlyItsOwnFlagAndKeepsErrno) {
  const struct {
    int signal;
    volatile sig_atomic_t* flag;
  } cases[] = {{SIGHUP, &g_hang_up}, {SIGUSR1, &g_stop}, {SIGTERM, &g_terminate}};
  for (const auto& c : cases) {
    g_stop = 1;
    g_terminate = 1;
    ResetSignalFlags();
    // A fresh start rereads the settings as a hang-up would.
    EXPECT_EQ(1, g_hang_up);
    EXPECT_EQ(0, g_stop);
    EXPECT_EQ(0, g_terminate);
    EXPECT_EQ(0, g_reaping);
    g_hang_up = 0;
    errno = EDOM;
    QsSignalHandler(c.signal);
    EXPECT_EQ(EDOM, errno) << c.signal;
    for (volatile sig_atomic_t* flag : {&g_hang_up, &g_stop, &g_terminate}) {
      EXPECT_EQ(flag == c.flag ? 1 : 0, *flag) << c.signal;
    }
    EXPECT_EQ(0, g_reaping) << c.signal;
  }
}

TEST_F(SignalTest, ChildHandlerReapsEveryFinishedChildAndKeepsErrno) {
  sigset_t chld;
  sigemptyset(&chld);
  sigaddset(&chld, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &chld, nullptr);
  pid_t children[3];
  for (pid_t& c : children) {
    c = fork();
    if (c == 0) _exit(0);
    ASSERT_GT(c, 0);
  }
  // Let all three end, so that one handler call has to collect them all.
  bool all_ended = false;
  for (int i = 0; i < 2000 && !all_ended; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    siginfo_t info;
    all_ended = true;
    for (pid_t c : children) {
      info.si_pid = 0;
      if (waitid(P_PID, c, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
        all_ended = false;
      }
    }
  }
  ASSERT_TRUE(all_ended);
  errno = EDOM;
  QsSignalHandler(SIGCHLD);
  EXPECT_EQ(EDOM, errno);
  EXPECT_EQ(0, g_reaping);
  for (pid_t c : children) EXPECT_EQ(-1, waitpid(c, nullptr, WNOHANG)) << c;
}

TEST_F(SignalTest, WaitEndsAtOnceOnStopButNotOnHangUp) {
  ASSERT_TRUE(InstallSignalHandler());
  sigset_t handled;
  HandledSignals(&handled);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);

  // Pending before the wait, so it is taken however late the wait starts.
  g_hang_up = 0;
  kill(getpid(), SIGHUP);
  auto begin = std::chrono::steady_clock::now();
  WaitOnePass(400);
  auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(waited, std::chrono::milliseconds(390));
  EXPECT_EQ(1, g_hang_up);

  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(getpid(), SIGUSR1);
  });
  begin = std::chrono::steady_clock::now();
  WaitOnePass(10000);
  waited = std::chrono::steady_clock::now() - begin;
  stopper.join();
  EXPECT_EQ(1, g_stop);
  EXPECT_LT(waited, std::chrono::milliseconds(2000));

  // A stop raised before the wait ends it without sleeping at all.
  begin = std::chrono::steady_clock::now();
  WaitOnePass(10000);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1000));
}

// Children ending one after another while the main thread waits, some within
// one batch time of each other, are all reaped during the wait, and a stop
// still ends it at once.
TEST_F(SignalTest, WaitReapsChildrenEndingDuringItAndStillStopsAtOnce) {
  ASSERT_TRUE(InstallSignalHandler());
  sigset_t handled;
  HandledSignals(&handled);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  std::vector<pid_t> children;
  for (int delay_ms : {0, 3, 6, 40}) {
    const pid_t c = fork();
    if (c == 0) {
      usleep(static_cast<useconds_t>(delay_ms) * 1000);
      _exit(0);
    }
    ASSERT_GT(c, 0);
    children.push_back(c);
  }
  // The stop comes once every child is gone (reaped, not a zombie), or after
  // a bound that a loaded machine cannot reach, so the wait is what reaps.
  std::chrono::steady_clock::time_point stopped;
  std::thread stopper([&children, &stopped] {
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto gone = [](pid_t c) { return kill(c, 0) != 0 && errno == ESRCH; };
    while (std::chrono::steady_clock::now() < bound &&
           !std::all_of(children.begin(), children.end(), gone)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stopped = std::chrono::steady_clock::now();
    kill(getpid(), SIGUSR1);
  });
  WaitOnePass(20000);
  const auto ended = std::chrono::steady_clock::now();
  stopper.join();
  EXPECT_EQ(1, g_stop);
  EXPECT_LT(ended - stopped, std::chrono::milliseconds(2000));
  for (pid_t c : children) EXPECT_EQ(-1, waitpid(c, nullptr, WNOHANG)) << "not reaped: " << c;
}

TEST(DaemonSignals, BlockedSetLeavesTheHandledSignalsOut) {
  sigset_t blocked;
  DaemonBlockedSignals(&blocked);
  for (int s : {SIGINT,  SIGQUIT, SIGTRAP,   SIGABRT, SIGBUS,   SIGFPE,  SIGSEGV,
                SIGUSR2, SIGPIPE, SIGALRM,   SIGCONT, SIGTTIN,  SIGTTOU, SIGURG,
                SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGWINCH, SIGIO,   SIGSYS}) {
    EXPECT_TRUE(sigismember(&blocked, s)) << s;
  }
  for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGCHLD, SIGKILL, SIGSTOP}) {
    EXPECT_FALSE(sigismember(&blocked, s)) << s;
  }
}

}  // namespace
