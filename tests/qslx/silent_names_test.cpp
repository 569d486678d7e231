// A name server that takes queries and never answers (as one taken down by
// the very power failure the orders are about): the daemon greets and
// stops without waiting on it, its alive check and the stand-in master's
// orders are bounded by their own time limits, and a failed lookup is
// reported as one.

#include <memory>

#include "common/clock.h"
#include "tests/qslx/daemon_fixture.h"
#include "tests/support/silent_names.h"

namespace {

const char kSilentName[] = "master-a.lan";

class SilentNamesTest : public DaemonTest {
 protected:
  void SetUp() override {
    DaemonTest::SetUp();
    ASSERT_TRUE(MakeDirs(temp_->Sub("names")));
    names_ = std::make_unique<TSilentNameServer>(temp_->Sub("names"));
    ASSERT_EQ("", names_->Error());
  }
  void TearDown() override {
    DaemonTest::TearDown();
    names_.reset();
  }
  // The masters: a name first, so that a lookup would come before the
  // numbers.
  void Masters(const std::string& second) {
    SetEntry(&config_, "AdrCount", "2");
    SetEntry(&config_, "Adr0", kSilentName);
    SetEntry(&config_, "Adr1", second);
  }
  void Alive(const std::string& retries, const std::string& timeout) {
    SetEntry(&config_, "AliveEnabled", "1");
    SetEntry(&config_, "AliveFrequency", "10");
    SetEntry(&config_, "AlivePort", std::to_string(port_ + 1000));
    SetEntry(&config_, "AliveRetries", retries);
    SetEntry(&config_, "AliveTimeOut", timeout);
  }
  int64_t Since(int64_t start) const { return NowMs() - start; }
  // The daemon's passes count from its start, not from the tree's copying.
  void StartAndNoteTime() {
    ASSERT_NO_FATAL_FAILURE(StartDaemon());
    started_ms_ = NowMs();
  }
  TRunResult Qsmaster(std::vector<std::string> args) const {
    args.insert(args.begin(), QsmasterBinary());
    return RunCommand(args);
  }

  std::unique_ptr<TSilentNameServer> names_;
  int64_t started_ms_ = 0;  // when StartAndNoteTime saw the daemon started
};

TEST_F(SilentNamesTest, OrdersAreGreetedAtOnceAndAStopInTheAliveCheckIsPrompt) {
  Masters("127.0.0.1");
  // One check: 3 attempts of 2 s each, from the end of the first pass.
  Alive("3", "2");
  ASSERT_NO_FATAL_FAILURE(StartAndNoteTime());

  // Greeted without the 5 s lookup of the name.
  int64_t start = NowMs();
  TOrderResult order = Order("<|1|2|>");
  EXPECT_EQ("<|ok|>", order.greeting);
  EXPECT_LT(Since(start), 1000 * kSlowdown);
  EXPECT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));

  // A stranger waits at most about a second for the names.
  start = NowMs();
  EXPECT_EQ("<|KO|>", Order("<|1|2|>", "127.0.0.9").greeting);
  EXPECT_LT(Since(start), 2000 * kSlowdown);
  EXPECT_TRUE(WaitForLogText("REFUSED 127.0.0.9"));

  // The lookup gives up after its 5 s and says so.
  EXPECT_TRUE(WaitForLogText(std::string("Master server ") + kSilentName +
                                 " does not resolve; its orders are refused until it does",
                             8000));

  // Well inside the check now, which waits on its lookups.
  while (Since(started_ms_) < 12000) SleepMs(100);
  start = NowMs();
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_LT(Since(start), kPromptMs);
  for (const std::string& text : LogTexts()) EXPECT_EQ(std::string::npos, text.find("ALIVE"));
}

TEST_F(SilentNamesTest, AliveCheckGivesUpOnANameWithinItsTimeLimit) {
  Masters("127.0.0.2");
  Alive("1", "2");
  ASSERT_NO_FATAL_FAILURE(StartAndNoteTime());
  // The first pass, then 2 s for the lookup: 12 s; a check that waited on
  // the resolver's 10 s would take 20 s.
  const int within_ms = 12000 + 1500 * kSlowdown;
  ASSERT_TRUE(
      WaitForLogText(std::string("ALIVE KO ") + kSilentName + " after 1 tries", within_ms + 2000));
  EXPECT_LT(Since(started_ms_), within_ms);
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
}

TEST_F(SilentNamesTest, StandInMasterBoundsEachOrderWithTheLookup) {
  const std::string master = temp_->Sub("wksrv.cfg");
  const std::string port = std::to_string(port_);
  ASSERT_TRUE(WriteFile(master, "[Wattkeep]\nQsTimeoutConnection=3\nEventCounter=1\nEvent0=0|" +
                                    std::string("$R_SHELL_1,") + kSilentName + "," + port +
                                    "|$R_SHELL_2,127.0.0.1," + port + "\n"));
  const struct {
    std::vector<std::string> args;
    int limit_ms;
    int status;
  } cases[] = {
      {{"fire", "0", "--yes", "--config", master}, 3000, 1},
      {{"send", kSilentName, port, "0", "--timeout", "2"}, 2000, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const int64_t start = NowMs();
    const TRunResult run = Qsmaster(c.args);
    EXPECT_LT(Since(start), c.limit_ms + 1500 * kSlowdown);
    EXPECT_EQ(c.status, run.exit_code) << run.out << run.err;
    const std::string said = run.out + run.err;
    EXPECT_NE(std::string::npos, said.find(std::string("cannot resolve ") + kSilentName)) << said;
    EXPECT_EQ(std::string::npos, said.find("No route to host")) << said;
  }
}

}  // namespace
