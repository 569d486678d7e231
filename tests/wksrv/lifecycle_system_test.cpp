// The master server's life seen from outside: its start and the single
// instance, the stops by "-s" and SIGTERM, SIGHUP absorbed, a UPS missing
// from the start, and what "--check" says and exits with.

#include <signal.h>
#include <unistd.h>

#include <thread>

#include "common/clock.h"
#include "tests/wksrv/wksrv_fixture.h"

namespace {

using Lines = std::vector<std::string>;
using LifecycleTest = WksrvTest;

// From the stop's request sent (not from the requester's own start).
constexpr int kPromptStopMs = 1500 * kSlowdown;

Lines Output(const TTempDir& temp) {
  return LinesOf(ReadFile(temp.Sub("wksrv.out")));
}

// Empties the starter's output once the running server has printed its start.
void ClearOutput(const TTempDir& temp) {
  EXPECT_TRUE(WaitUntil(
      [&temp] {
        return ReadFile(temp.Sub("wksrv.out")).find("daemon started\n") != std::string::npos;
      },
      3000));
  EXPECT_TRUE(WriteFile(temp.Sub("wksrv.out"), ""));
}

bool Contains(const Lines& lines, const std::string& text) {
  for (const std::string& line : lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

// Sends `signal` or runs "-s" and expects the server gone promptly, its stop
// printed and logged.
void ExpectOrderlyStop(const std::function<void()>& stop, const TTempDir& temp,
                       const std::function<Lines()>& log) {
  stop();
  const int64_t asked = NowMs();
  EXPECT_TRUE(WaitUntil([] { return ProcessesNamed("wksrv").empty(); }, 2 * kPromptStopMs));
  EXPECT_LT(NowMs() - asked, kPromptStopMs);
  EXPECT_EQ(Output(temp), (Lines{"Wattkeep: coming up...", "Wattkeep: daemon started",
                                 "Wattkeep: coming down...", "Wattkeep: daemon stopped"}));
  const Lines logged = log();
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(), "Wattkeep stopped");
}

TEST_F(LifecycleTest, StopRequestEndsTheServerInOrder) {
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_TRUE(WaitUntil([this] { return !LogTexts().empty(); }, 3000));
  EXPECT_EQ(LogTexts().front(), "Wattkeep started, UPS " + nut_->Address());
  ExpectOrderlyStop(
      [this] {
        TRunResult stop = RunWksrv({"-s"});
        EXPECT_EQ(stop.exit_code, 0);
      },
      *temp_, [this] { return LogTexts(); });

  ASSERT_TRUE(WriteFile(temp_->Sub("wksrv.out"), ""));
  TRunResult none = RunWksrv({"-s"});
  EXPECT_EQ(none.exit_code, 0);
  EXPECT_EQ(ReadFile(temp_->Sub("wksrv.out")), "Wattkeep: daemon not in progress\n\n");
}

TEST_F(LifecycleTest, SigtermEndsTheServerInOrderAndSighupChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  const pid_t server = Servers().front();
  ASSERT_EQ(kill(server, SIGHUP), 0);
  ASSERT_EQ(kill(server, SIGINT), 0);
  SleepMs(300);
  EXPECT_EQ(Servers(), std::vector<pid_t>{server});
  ExpectOrderlyStop([server] { ASSERT_EQ(kill(server, SIGTERM), 0); }, *temp_,
                    [this] { return LogTexts(); });
}

TEST_F(LifecycleTest, SecondStartIsRefusedAndTheFirstGoesOn) {
  OnEvent(0, {"$LOG"});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  const pid_t first = Servers().front();
  ClearOutput(*temp_);
  TRunResult second = RunWksrv({});
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(ReadFile(temp_->Sub("wksrv.out")),
            "Wattkeep: daemon already in progress on PID " + std::to_string(first) + "\n\n");
  EXPECT_EQ(Servers(), std::vector<pid_t>{first});
  ASSERT_NO_FATAL_FAILURE(SetStatus("OB"));
  EXPECT_TRUE(WaitForEventLogged(0)) << "the first server still watches";
}

TEST_F(LifecycleTest, OfStartsAtTheSameMomentOneServerRemains) {
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ExpectOrderlyStop([this] { RunWksrv({"-s"}); }, *temp_, [this] { return LogTexts(); });
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(WriteFile(temp_->Sub("wksrv.out"), ""));
    std::thread other([this] { RunWksrv({}); });
    RunWksrv({});
    other.join();
    EXPECT_TRUE(WaitUntil([this] { return Contains(Output(*temp_), "daemon started"); }, 3000));
    SleepMs(300);
    EXPECT_EQ(Servers().size(), 1u) << "round " << round;
    const Lines out = Output(*temp_);
    EXPECT_TRUE(Contains(out, "Wattkeep: daemon already in progress"))
        << ::testing::PrintToString(out);
    RunWksrv({"-s"});
    ASSERT_TRUE(WaitUntil([this] { return Servers().empty(); }, 3000));
  }
}

TEST_F(LifecycleTest, StartScriptSucceedsOnlyOnceTheServerRuns) {
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ExpectOrderlyStop([this] { RunWksrv({"-s"}); }, *temp_, [this] { return LogTexts(); });
  auto script = [this](const std::string& action) {
    TRunOptions options;
    options.env = {"VOLTMON_DIR=" + root_};
    options.timeout_ms = 20000;
    return RunCommand({"/bin/sh", std::string(VM_SOURCE_DIR) + "/packet/bin/startwksrv", action},
                      options);
  };
  TRunResult start = script("start");
  EXPECT_EQ(start.exit_code, 0) << start.err;
  EXPECT_EQ(start.out, "Wattkeep: coming up...\nWattkeep: daemon started\n");
  ASSERT_EQ(Servers().size(), 1u);
  const std::string pid = std::to_string(Servers().front());
  TRunResult again = script("start");
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_EQ(again.out, "Wattkeep: already running on PID " + pid + "\n");
  TRunResult status = script("status");
  EXPECT_EQ(status.exit_code, 0);
  EXPECT_EQ(status.out, "Wattkeep: running on PID " + pid + "\n");
  // Each restart's start must not meet the ending server of its stop.
  for (int round = 0; round < 4; ++round) {
    TRunResult restart = script("restart");
    EXPECT_EQ(restart.exit_code, 0) << "round " << round << ": " << restart.err;
    EXPECT_EQ(restart.out, "Wattkeep: coming up...\nWattkeep: daemon started\n");
    ASSERT_EQ(Servers().size(), 1u) << "round " << round;
  }
  TRunResult stop = script("stop");
  EXPECT_EQ(stop.exit_code, 0);
  EXPECT_TRUE(Servers().empty()) << "stop returns once the server is gone";

  ASSERT_EQ(unlink((root_ + "bin/voltmon.cfg").c_str()), 0);
  TRunResult failed = script("start");
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.err.find("Invalid setup."), std::string::npos) << failed.err;
  EXPECT_EQ(failed.err.find("coming up"), std::string::npos) << failed.err;
  EXPECT_TRUE(Servers().empty());
  EXPECT_EQ(script("status").exit_code, 3);
}

TEST_F(LifecycleTest, NoUpsFromTheStartIsLoggedAndLostAfterThreePolls) {
  OnEvent(4, {"$LOG"});
  SetEntry(&master_, "NutUps", "dummy@127.0.0.1:3494");
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  EXPECT_TRUE(WaitForEventLogged(4)) << ::testing::PrintToString(LogTexts());
  const Lines log = LogTexts();
  ASSERT_GE(log.size(), 3u) << ::testing::PrintToString(log);
  EXPECT_EQ(log[1].rfind("UPS not reachable: upsd 127.0.0.1:3494: ", 0), 0u) << log[1];
}

TEST_F(LifecycleTest, CheckTellsWhatItWatchesAndExitsOneOnAProblem) {
  OnEvent(0, {"$LOG", RemoteJob("$R_MSG", 6005)});
  ASSERT_NO_FATAL_FAILURE(StartWksrv());
  ASSERT_NO_FATAL_FAILURE(
      ExpectOrderlyStop([this] { RunWksrv({"-s"}); }, *temp_, [this] { return LogTexts(); }));

  ASSERT_TRUE(WriteFile(temp_->Sub("wksrv.out"), ""));
  TRunResult sound = RunWksrv({"--check"});
  EXPECT_EQ(sound.exit_code, 0) << ReadFile(temp_->Sub("wksrv.out"));
  Lines out = Output(*temp_);
  EXPECT_TRUE(Contains(out, "UPS " + nut_->Address() + " through NUT, read every 1 s"));
  EXPECT_TRUE(Contains(out, "UPS status now: OL"));
  EXPECT_TRUE(Contains(out, "Event 0 " + EventTag(0)));
  EXPECT_EQ(out.back(), "No problem found.");
  EXPECT_TRUE(Servers().empty()) << "--check starts nothing";

  nut_->StopServer();
  ASSERT_TRUE(WriteFile(temp_->Sub("wksrv.out"), ""));
  TRunResult silent = RunWksrv({"--check"});
  EXPECT_EQ(silent.exit_code, 1);
  out = Output(*temp_);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[out.size() - 2], "1 problem(s):");
  EXPECT_EQ(out.back().rfind("- no UPS reachable: upsd 127.0.0.1:3493: ", 0), 0u) << out.back();
}

}  // namespace
