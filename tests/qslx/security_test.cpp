// The daemon against local users and hostile callers: ordinary users on the
// same computer, programs that pose as the daemon, links in its data
// directory, floods of refused callers, a stop during a long alive check and
// the start-up script's promises to its caller.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/qslx/daemon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kNobody = 65534;

int64_t MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

class SecurityTest : public DaemonTest {
 protected:
  // A directory an ordinary user can reach, with copies of programs for it.
  std::string OtherUsersCopy(const std::string& program, const std::string& name) {
    const std::string dir = temp_->Sub("other");
    EXPECT_TRUE(MakeDirs(dir, 0755));
    EXPECT_EQ(chmod(temp_->path().c_str(), 0755), 0);
    const std::string copy = dir + "/" + name;
    EXPECT_TRUE(WriteFile(copy, ReadFile(program), 0755));
    return copy;
  }

  // The daemon's start-up script, installed in the tree, run with `action`.
  TRunResult Startqslx(const std::string& action) {
    const std::string script = tree_->root() + "bin/startqslx";
    if (!FileExists(script)) {
      EXPECT_TRUE(WriteFile(script, ReadFile(VM_STARTQSLX_PATH), 0755));
    }
    TRunOptions options;
    options.cwd = workdir_;
    options.timeout_ms = 25000;
    return RunCommand({"/bin/sh", script, action}, options);
  }

  // The detached qslx processes of root.
  std::vector<pid_t> RootDaemons() const {
    std::vector<pid_t> found;
    for (pid_t pid : Daemons()) {
      if (ParentOf(pid) == 1 && ProcStatusField(pid, "Uid").rfind("0\t", 0) == 0) {
        found.push_back(pid);
      }
    }
    return found;
  }

  void Masters(const Lines& addresses) {
    SetEntry(&config_, "AdrCount", std::to_string(addresses.size()));
    for (size_t i = 0; i < addresses.size(); ++i) {
      SetEntry(&config_, "Adr" + std::to_string(i), addresses[i]);
    }
  }

  size_t Count(const std::string& text) const {
    Lines texts = LogTexts();
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
  }
};

TEST_F(SecurityTest, LoopbackOrderOfAnOrdinaryUserIsRefusedOfRootCarriedOut) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::string master = OtherUsersCopy(QsmasterBinary(), "qsmaster");
  TRunOptions as_nobody;
  as_nobody.uid = kNobody;
  const std::vector<std::string> send = {master, "send", "127.0.0.1", std::to_string(port_), "0"};
  TRunResult refused = RunCommand(send, as_nobody);
  EXPECT_EQ(refused.out, "greeting: <|KO|>\n") << refused.err;
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.1"));

  TRunResult carried_out = RunCommand(send);
  EXPECT_EQ(carried_out.exit_code, 0) << carried_out.err;
  EXPECT_EQ(carried_out.out, "greeting: <|ok|>\nsent: <|1|0|>\n");
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
  EXPECT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == 1; }, 3000));
  EXPECT_EQ(LogTexts(), (Lines{"START ", "REFUSED 127.0.0.1", "SHUTDOWN by 127.0.0.1"}));
}

// As shipped: a master entry that is empty. The daemon runs and refuses all.
TEST_F(SecurityTest, NoMasterConfiguredRefusesEvenRootOnTheLoopback) {
  SetEntry(&config_, "AdrCount", "1");
  SetEntry(&config_, "Adr0", "");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|KO|>");
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.1"));
  EXPECT_TRUE(tree_->Runs("shutdown.sh").empty());
}

TEST_F(SecurityTest, FakeDaemonOfAnOrdinaryUserIsIgnoredByStartStopAndStatus) {
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  const std::string fake = OtherUsersCopy("/bin/sleep", "qslx");
  TRunOptions as_nobody;
  as_nobody.uid = kNobody;
  ASSERT_EQ(RunCommand({"/bin/sh", "-c", fake + " 100 &"}, as_nobody).exit_code, 0);
  ASSERT_TRUE(
      WaitUntil([&] { return Daemons().size() == 1 && ParentOf(Daemons()[0]) == 1; }, 3000));
  const pid_t fake_pid = Daemons()[0];

  TRunResult status = Startqslx("status");
  EXPECT_EQ(status.exit_code, 3);
  EXPECT_EQ(status.out, "qslx is not running\n");
  RunQslx({"-s"}, temp_->Sub("stop0.out"));
  EXPECT_EQ(ReadFile(temp_->Sub("stop0.out")), "QS System: daemon not in progress\n\n");

  TRunResult start = RunQslx({});
  EXPECT_EQ(start.exit_code, 0);
  ASSERT_TRUE(WaitForOutputLine("QS System: daemon started", 5000)) << Output();
  ASSERT_TRUE(WaitUntil([&] { return RootDaemons().size() == 1; }, 3000));
  const pid_t daemon = RootDaemons()[0];
  status = Startqslx("status");
  EXPECT_EQ(status.exit_code, 0);
  EXPECT_EQ(status.out, "qslx is running (PID " + std::to_string(daemon) + ")\n");

  RunQslx({"-s"}, temp_->Sub("stop1.out"));
  EXPECT_TRUE(WaitUntil([&] { return ProcessGone(daemon); }, kGoneWithinMs));
  EXPECT_FALSE(ProcessGone(fake_pid)) << "the ordinary user's program is not signalled";
  EXPECT_EQ(Startqslx("status").exit_code, 3);
  EXPECT_EQ(LogTexts(), (Lines{"START ", "STOP"}));
}

// A link at the log's place is not written through, with a target below the
// size limit or missing, and not across a restart of the daemon; one whose
// target is at the limit is replaced by a fresh log.
TEST_F(SecurityTest, LinkAtTheLogsPlaceIsNeverFollowed) {
  SetEntry(&config_, "LogMaxSize", "200");
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  const std::string small = temp_->Sub("small-target");
  const std::string missing = temp_->Sub("missing-target");
  size_t runs = 0;
  for (const std::string& target : {small, missing}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(WriteFile(small, "keep\n"));
    unlink(tree_->LogPath().c_str());
    ASSERT_EQ(symlink(target.c_str(), tree_->LogPath().c_str()), 0);
    for (int restart = 0; restart < 2; ++restart) {
      // Each start reports to an output of its own.
      output_path_ = temp_->Sub("run" + std::to_string(runs) + ".out");
      ASSERT_NO_FATAL_FAILURE(StartDaemon());
      EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
      ++runs;
      EXPECT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == runs; }, 3000));
      ASSERT_NO_FATAL_FAILURE(StopDaemon());
    }
    EXPECT_EQ(ReadFile(small), "keep\n");
    EXPECT_FALSE(FileExists(missing));
    struct stat st;
    ASSERT_EQ(lstat(tree_->LogPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }

  const std::string full(300, 'x');
  ASSERT_TRUE(WriteFile(small, full));
  unlink(tree_->LogPath().c_str());
  ASSERT_EQ(symlink(small.c_str(), tree_->LogPath().c_str()), 0);
  output_path_ = temp_->Sub("last.out");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  ASSERT_NO_FATAL_FAILURE(StopDaemon());
  EXPECT_EQ(ReadFile(small), full);
  struct stat st;
  ASSERT_EQ(lstat(tree_->LogPath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(LogTexts(), (Lines{"START ", "STOP"}));
}

// With a log small enough that unthrottled refusals would restart it many
// times over, the orders of the allowed master keep their lines.
TEST_F(SecurityTest, RefusedFloodLeavesTheOrdersInTheLog) {
  SetEntry(&config_, "LogMaxSize", "20000");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  constexpr int kFlooders = 4;
  constexpr int kEach = 750;
  constexpr int kOrders = 6;
  std::atomic<int> refused{0};
  std::vector<std::thread> flooders;
  for (int f = 0; f < kFlooders; ++f) {
    flooders.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        if (ExchangeLine(Master("127.0.0.2"), std::nullopt).greeting == "<|KO|>") ++refused;
      }
    });
  }
  int greeted = 0;
  for (int i = 0; i < kOrders; ++i) greeted += Order("<|1|2|>").greeting == "<|ok|>" ? 1 : 0;
  for (std::thread& flooder : flooders) flooder.join();
  EXPECT_EQ(greeted, kOrders);
  EXPECT_EQ(refused.load(), kFlooders * kEach);
  ASSERT_TRUE(WaitUntil([&] { return Count("CUSTOM1 by 127.0.0.1") == kOrders; }, 5000));
  ASSERT_NO_FATAL_FAILURE(StopDaemon());

  EXPECT_EQ(LogTexts().front(), "START ") << "the log was never started afresh";
  EXPECT_EQ(Count("CUSTOM1 by 127.0.0.1"), static_cast<size_t>(kOrders));
  EXPECT_EQ(Count("REFUSED 127.0.0.2"), 20u);
  EXPECT_EQ(Count("REFUSED MORE 127.0.0.2 " + std::to_string(kFlooders * kEach - 20)), 1u);
  EXPECT_EQ(LogTexts().back(), "STOP");
}

// Two silent masters and a 45-second time limit: a stop or a SIGTERM during
// the check still ends the daemon at once, and the cut check reports nothing.
class StopDuringAliveCheckTest : public SecurityTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StopDuringAliveCheckTest, EndsWithinAboutASecond) {
  const bool orderly = GetParam();
  const uint16_t alive_port = static_cast<uint16_t>(port_ + 1000);
  Masters({"127.0.0.3", "127.0.0.4"});
  SetEntry(&config_, "AliveEnabled", "1");
  SetEntry(&config_, "AliveFrequency", "10");
  SetEntry(&config_, "AlivePort", std::to_string(alive_port));
  SetEntry(&config_, "AliveTimeOut", "45");
  std::vector<std::unique_ptr<TFakeAliveServer>> masters;
  for (const char* address : {"127.0.0.3", "127.0.0.4"}) {
    masters.push_back(std::make_unique<TFakeAliveServer>(address, alive_port, "", true));
    std::string error;
    ASSERT_TRUE(masters.back()->Start(&error)) << error;
  }
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  ASSERT_TRUE(WaitUntil([&] { return !masters[0]->Requests().empty(); }, 15000 * kSlowdown))
      << "the check did not begin";

  auto start = std::chrono::steady_clock::now();
  if (orderly) {
    RunQslx({"-s"}, temp_->Sub("stop.out"));
  } else {
    ASSERT_EQ(kill(daemon_pid_, SIGTERM), 0);
  }
  ASSERT_TRUE(WaitForDaemonGone(kGoneWithinMs));
  EXPECT_LT(MsSince(start), 2000 * kSlowdown);
  EXPECT_EQ(LogTexts(), orderly ? (Lines{"START ", "STOP"}) : (Lines{"START "}));
  EXPECT_TRUE(masters[1]->Requests().empty()) << "the rest of the check is skipped";
  EXPECT_TRUE(tree_->Runs("chkfail.sh").empty());
}

INSTANTIATE_TEST_SUITE_P(SecurityTest, StopDuringAliveCheckTest, ::testing::Bool());

TEST_F(SecurityTest, StartScriptReportsABrokenSetupAndSuccessOnlyOnceListening) {
  SetEntry(&config_, "ListenPort", "0");
  ASSERT_NO_FATAL_FAILURE(BuildTree());
  TRunResult broken = Startqslx("start");
  EXPECT_FALSE(broken.timed_out);
  EXPECT_NE(broken.exit_code, 0);
  EXPECT_NE(broken.err.find(kInvalidSetup), std::string::npos) << broken.err;
  EXPECT_TRUE(RootDaemons().empty());

  SetEntry(&config_, "ListenPort", std::to_string(port_));
  ASSERT_TRUE(tree_->WriteConfig(config_));
  // The detached daemon must not keep the output of a command substitution.
  const std::string script = tree_->root() + "bin/startqslx";
  TRunOptions options;
  options.cwd = workdir_;
  options.timeout_ms = 25000;
  TRunResult started = RunCommand(
      {"/bin/sh", "-c", "out=$(/bin/sh '" + script + "' start); echo \"$? $out\""}, options);
  EXPECT_FALSE(started.timed_out) << "$(startqslx start) did not return";
  EXPECT_EQ(started.out, "0 QS System: coming up...\nQS System: daemon started\n") << started.err;
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>") << "listening once start returned";
  EXPECT_EQ(Startqslx("restart").exit_code, 0) << "the start met the ending daemon";
  EXPECT_EQ(RootDaemons().size(), 1u);
  EXPECT_EQ(Startqslx("stop").exit_code, 0);
  EXPECT_TRUE(RootDaemons().empty()) << "stop returns once the daemon has ended";
}

}  // namespace
