// The alive check of the master servers. The check runs after the main
// loop's 10-second sleep, so each of these cases takes over ten seconds.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tests/qslx/daemon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

constexpr char kHealthyReply[] = "<|5|Vantrel Wattkeep|>";
// The first check comes after the first 10-second pass.
constexpr int kFirstCheckMs = 14000;
// By when a first check with retries has run its script, with room for a
// loaded machine; its lines and attempts are checked, not its speed.
constexpr int kFirstCheckDoneMs = 20000;

class AliveTest : public DaemonTest {
 protected:
  void SetUp() override {
    DaemonTest::SetUp();
    alive_port_ = static_cast<uint16_t>(port_ + 1000);
    SetEntry(&config_, "AliveEnabled", "1");
    SetEntry(&config_, "AliveFrequency", "10");
    SetEntry(&config_, "AlivePort", std::to_string(alive_port_));
    SetEntry(&config_, "AliveTimeOut", "2");
    SetEntry(&config_, "AliveDelay", "1");
  }

  void Masters(const Lines& addresses) {
    SetEntry(&config_, "AdrCount", std::to_string(addresses.size()));
    for (size_t i = 0; i < addresses.size(); ++i) {
      SetEntry(&config_, "Adr" + std::to_string(i), addresses[i]);
    }
  }

  TFakeAliveServer* Serve(const std::string& address, const std::string& reply,
                          bool silent = false) {
    servers_.push_back(std::make_unique<TFakeAliveServer>(address, alive_port_, reply, silent));
    std::string error;
    EXPECT_TRUE(servers_.back()->Start(&error)) << error;
    return servers_.back().get();
  }

  Lines AliveLines() const {
    Lines lines;
    for (const std::string& text : LogTexts()) {
      if (text.rfind("ALIVE", 0) == 0) lines.push_back(text);
    }
    return lines;
  }

  uint16_t alive_port_ = 0;
  std::vector<std::unique_ptr<TFakeAliveServer>> servers_;
};

TEST_F(AliveTest, DeadMastersAreLoggedWithTheirAttemptsAndTheScriptRunsOnce) {
  // Only the low 8 bits count: 259 attempts are 3.
  SetEntry(&config_, "AliveRetries", "259");
  ASSERT_NO_FATAL_FAILURE(UsePrivateResolver("127.0.0.1 localhost\n"));
  Masters({"127.0.0.2", "127.0.0.1", "no-such-master.invalid"});
  // The healthy master is the stand-in master tool, so that it is tried too.
  // It has the whole first pass to start listening.
  TRunOptions serve;
  serve.timeout_ms = kFirstCheckDoneMs + 4000;
  TRunResult served;
  std::thread master([&] {
    served = RunCommand({QsmasterBinary(), "serve-alive", std::to_string(alive_port_), "--bind",
                         "127.0.0.1", "--count", "1"},
                        serve);
  });
  struct JoinAtExit {
    std::thread& thread;
    ~JoinAtExit() {
      if (thread.joinable()) thread.join();
    }
  } join_at_exit{master};
  ASSERT_NO_FATAL_FAILURE(StartDaemon());

  ASSERT_TRUE(WaitUntil([&] { return tree_->Runs("chkfail.sh").size() == 1; }, kFirstCheckDoneMs))
      << "log:\n"
      << ReadFile(tree_->LogPath());
  master.join();
  EXPECT_EQ(served.exit_code, 0) << served.err;
  EXPECT_NE(served.out.find("<|5|>"), std::string::npos) << served.out;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(AliveLines(), (Lines{"ALIVE KO 127.0.0.2 after 3 tries",
                                 "ALIVE KO no-such-master.invalid after 3 tries"}));
  ASSERT_EQ(tree_->Runs("chkfail.sh").size(), 1u);
  TScriptRun run = tree_->Runs("chkfail.sh")[0];
  EXPECT_EQ(run.args, Lines{""});
  EXPECT_TRUE((run.blocked >> (SIGINT - 1)) & 1);
  EXPECT_FALSE((run.blocked >> (SIGTERM - 1)) & 1);
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
}

TEST_F(AliveTest, EveryWrongReplyFailsAndASilentMasterCannotHoldTheDaemon) {
  SetEntry(&config_, "AliveRetries", "2");
  Masters({"127.0.0.1", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6", "127.0.0.7"});
  TFakeAliveServer* wrong_case = Serve("127.0.0.1", "<|5|vantrel wattkeep|>");
  Serve("127.0.0.3", "<|6|Vantrel Wattkeep|>");
  Serve("127.0.0.4", "<|5|Vantrel Wattkeep|extra|>");
  Serve("127.0.0.5", "", true);
  TFakeAliveServer* healthy = Serve("127.0.0.6", kHealthyReply);
  Serve("127.0.0.7", "Vantrel Wattkeep");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());

  ASSERT_TRUE(
      WaitUntil([&] { return tree_->Runs("chkfail.sh").size() == 1; }, kFirstCheckMs + 3000))
      << "log:\n"
      << ReadFile(tree_->LogPath());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(AliveLines(),
            (Lines{"ALIVE KO 127.0.0.1 after 1 tries", "ALIVE KO 127.0.0.3 after 1 tries",
                   "ALIVE KO 127.0.0.4 after 1 tries", "ALIVE KO 127.0.0.5 after 1 tries",
                   "ALIVE KO 127.0.0.7 after 1 tries"}));
  EXPECT_EQ(tree_->Runs("chkfail.sh").size(), 1u);
  EXPECT_EQ(wrong_case->Requests(), Lines{"<|5|>"});
  EXPECT_EQ(healthy->Requests(), Lines{"<|5|>"});
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
}

TEST_F(AliveTest, DisabledCheckNeverRuns) {
  SetEntry(&config_, "AliveEnabled", "0");
  Masters({"127.0.0.2"});
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  std::this_thread::sleep_for(std::chrono::milliseconds(kFirstCheckMs - 2000));
  EXPECT_TRUE(AliveLines().empty());
  EXPECT_TRUE(tree_->Runs("chkfail.sh").empty());
  // Orders are served all along.
  EXPECT_EQ(Order("<|1|0|>", "127.0.0.2").greeting, "<|ok|>");
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
}

}  // namespace
