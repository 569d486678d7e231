// The command server as a master sees it: greeting, who is admitted, every
// request form, and what each one logs and starts.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "common/scramble.h"
#include "tests/qslx/daemon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

// One request and what it must lead to: the log lines it adds and the
// recorder it starts (none when empty) with the argument it must receive.
struct RequestCase {
  std::string line;  // sent as it stands
  Lines log;
  std::string script;
  std::string argument;
};

RequestCase Frame(const std::string& frame, Lines log, const std::string& script = "",
                  const std::string& argument = "") {
  return {Scramble(frame), std::move(log), script, argument};
}

TEST_F(DaemonTest, EveryRequestFormLogsAndStartsWhatItShould) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  const std::string unknown = "UNKNOWN by 127.0.0.1";
  const std::vector<RequestCase> cases = {
      Frame("<|1|0|>", {"SHUTDOWN by 127.0.0.1"}, "shutdown.sh", ""),
      Frame("<| 1 | 0 |>", {"SHUTDOWN by 127.0.0.1"}, "shutdown.sh", ""),
      Frame("<|1|1|>", {unknown}),
      Frame("<|1|1||>", {unknown}),
      Frame("<|1|1|Hello|>", {"MESSAGE by 127.0.0.1"}, "message.sh", "\"Hello\""),
      Frame("<|1|1|  two words  |>", {"MESSAGE by 127.0.0.1"}, "message.sh", "\"two words\""),
      Frame("<|1|1|cut|here|>", {"MESSAGE by 127.0.0.1"}, "message.sh", "\"cut\""),
      Frame("<|1|1|$1 `id` *|>", {"MESSAGE by 127.0.0.1"}, "message.sh", "\"$1 `id` *\""),
      Frame("<|1|2|>", {"CUSTOM1 by 127.0.0.1"}, "custom1.sh", ""),
      Frame("<|1|3|>", {tree_->Script("custom2.sh"), "CUSTOM2 by 127.0.0.1"}, "custom2.sh", ""),
      Frame("<|1|4|>", {"CUSTOM3 by 127.0.0.1"}, "custom3.sh", ""),
      Frame("<|x|0|>", {unknown}),
      Frame("<||0|>", {unknown}),
      Frame("<|1|5|>", {unknown}),
      Frame("<|1|-1|>", {unknown}),
      Frame("<|1|0x|>", {unknown}),
      Frame("<1|0>", {unknown}),
      Frame("<|1|0>", {unknown}),
      Frame("|1|0|>", {unknown}),
      Frame("<|1|0|", {unknown}),
      Frame("", {unknown}),
      {"<|1|0|>", {unknown}, "", ""},
      {"zz" + Scramble("<|1|0|>"), {unknown}, "", ""},
  };
  size_t lines = 1;  // the start event
  std::map<std::string, size_t> runs;
  for (const RequestCase& c : cases) {
    SCOPED_TRACE("request '" + Descramble(c.line) + "' sent as '" + c.line + "'");
    TOrderResult result = ExchangeLine(Master(), c.line);
    ASSERT_TRUE(result.connected);
    EXPECT_EQ(result.greeting, "<|ok|>");
    EXPECT_TRUE(result.closed_by_peer) << "one request per connection";
    EXPECT_EQ(result.after_greeting, "") << "nothing is answered after the greeting";
    lines += c.log.size();
    ASSERT_TRUE(WaitForLogCount(lines));
    Lines texts = LogTexts();
    ASSERT_EQ(texts.size(), lines);
    EXPECT_EQ(Lines(texts.end() - static_cast<std::ptrdiff_t>(c.log.size()), texts.end()), c.log);
    if (!c.script.empty()) {
      size_t expected = ++runs[c.script];
      ASSERT_TRUE(WaitUntil([&] { return tree_->Runs(c.script).size() == expected; }, 3000));
      TScriptRun run = tree_->Runs(c.script).back();
      EXPECT_EQ(run.argc, 1);
      EXPECT_EQ(run.args, Lines{c.argument});
    }
  }
  // Late starts of scripts that must not have run would show up here.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const char* script :
       {"shutdown.sh", "message.sh", "custom1.sh", "custom2.sh", "custom3.sh", "chkfail.sh"}) {
    EXPECT_EQ(tree_->Runs(script).size(), runs[script]) << script;
  }
}

TEST_F(DaemonTest, GreetingIsScrambledAndEndsWithCrLf) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  TOrderResult result = ExchangeLine(Master(), std::nullopt);
  ASSERT_TRUE(result.connected);
  EXPECT_EQ(result.raw_greeting, Scramble("<|ok|>"));
  EXPECT_TRUE(result.greeting_had_crlf);
}

TEST_F(DaemonTest, RequestEndedByCrLfIsTheSameRequest) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  TOrderOptions options = Master();
  options.line_end = "\r\n";
  EXPECT_EQ(SendFrame(options, "<|1|1|Hello|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("MESSAGE by 127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return tree_->Runs("message.sh").size() == 1; }, 3000));
  EXPECT_EQ(tree_->Runs("message.sh")[0].args, Lines{"\"Hello\""});
}

TEST_F(DaemonTest, RefusedCallerGetsKoAndIsLoggedByAddress) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  TOrderResult result = Order("<|1|0|>", "127.0.0.2");
  ASSERT_TRUE(result.connected);
  EXPECT_EQ(result.greeting, "<|KO|>");
  EXPECT_TRUE(result.closed_by_peer);
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.2"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(tree_->Runs("shutdown.sh").empty());
  EXPECT_EQ(LogTexts(), (Lines{"START ", "REFUSED 127.0.0.2"}));
  // The refusal does not spoil the next allowed order.
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  EXPECT_TRUE(WaitForLogText("SHUTDOWN by 127.0.0.1"));
}

TEST_F(DaemonTest, LocalhostInAnyCaseAdmitsLoopbackUnderItsConfiguredName) {
  SetEntry(&config_, "Adr0", "LocalHost");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by LocalHost"));
  EXPECT_EQ(Order("<|1|0|>", "127.0.0.2").greeting, "<|KO|>");
}

TEST_F(DaemonTest, HostNamesResolveAndEmptyOrUnknownEntriesKeepNamesAligned) {
  ASSERT_NO_FATAL_FAILURE(UsePrivateResolver("127.0.0.1 localhost\n127.0.0.3 master-c\n"));
  SetEntry(&config_, "AdrCount", "4");
  SetEntry(&config_, "Adr0", "");
  SetEntry(&config_, "Adr1", "no-such-master.invalid");
  SetEntry(&config_, "Adr2", "master-c");
  SetEntry(&config_, "Adr3", "127.0.0.4");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());

  EXPECT_EQ(Order("<|1|0|>", "127.0.0.3").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("SHUTDOWN by master-c"));
  EXPECT_EQ(Order("<|1|2|>", "127.0.0.4").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.4"));
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|KO|>");
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.1"));
}

TEST_F(DaemonTest, NoAddressAtAllRefusesEveryCaller) {
  SetEntry(&config_, "AdrCount", "1");
  EraseEntry(&config_, "Adr0");
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  EXPECT_EQ(Order("<|1|0|>").greeting, "<|KO|>");
  ASSERT_TRUE(WaitForLogText("REFUSED 127.0.0.1"));
  EXPECT_TRUE(tree_->Runs("shutdown.sh").empty());
}

TEST_F(DaemonTest, CallersThatSendNoRequestCauseNothingAndBlockNobody) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  // Greeted, then gone without a line.
  TOrderResult greeted = ExchangeLine(Master(), std::nullopt);
  EXPECT_EQ(greeted.greeting, "<|ok|>");
  // Gone before the greeting.
  int quick = ConnectOnly(Master());
  ASSERT_GE(quick, 0);
  close(quick);
  // A half line, then gone.
  int half = ConnectOnly(Master());
  ASSERT_GE(half, 0);
  ASSERT_EQ(write(half, "3C7C", 4), 4);
  close(half);
  // Connected and silent while another master gives an order.
  int idle = ConnectOnly(Master());
  ASSERT_GE(idle, 0);

  EXPECT_EQ(Order("<|1|2|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(LogTexts(), (Lines{"START ", "CUSTOM1 by 127.0.0.1"}));
  EXPECT_TRUE(tree_->Runs("shutdown.sh").empty());
  close(idle);
  ASSERT_NO_FATAL_FAILURE(StopDaemon()) << "an idle connection must not hold up the stop";
}

TEST_F(DaemonTest, OverlongRequestLeavesTheDaemonServing) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  // Far beyond any sane line length; whether such a line is read at all is
  // the networking layer's choice.
  std::string line = Scramble("<|1|0|" + std::string(300000, ' ') + ">");
  TOrderOptions options = Master();
  options.timeout_ms = 10000;
  TOrderResult result = ExchangeLine(options, line);
  EXPECT_EQ(result.greeting, "<|ok|>");
  EXPECT_TRUE(result.closed_by_peer);
  EXPECT_EQ(Order("<|1|2|>").greeting, "<|ok|>");
  ASSERT_TRUE(WaitForLogText("CUSTOM1 by 127.0.0.1"));
  EXPECT_FALSE(ProcessGone(daemon_pid_));
}

TEST_F(DaemonTest, SimultaneousOrdersAreEachLoggedOnALineOfTheirOwn) {
  ASSERT_NO_FATAL_FAILURE(StartDaemon());
  constexpr int kOrders = 24;
  std::atomic<int> greeted{0};
  std::vector<std::thread> masters;
  for (int i = 0; i < kOrders; ++i) {
    masters.emplace_back([&, i] {
      // Half of them from a refused address, so that refusals and orders
      // rebuild and read the allowed list at the same time.
      std::string bind = i % 2 ? "127.0.0.2" : "127.0.0.1";
      TOrderResult result = Order("<|" + std::to_string(i) + "|0|>", bind);
      if (result.greeting == (i % 2 ? "<|KO|>" : "<|ok|>")) ++greeted;
    });
  }
  for (std::thread& master : masters) master.join();
  EXPECT_EQ(greeted.load(), kOrders);
  ASSERT_TRUE(WaitForLogCount(1 + kOrders, 5000));
  Lines texts = LogTexts();
  ASSERT_EQ(texts.size(), 1u + kOrders);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "SHUTDOWN by 127.0.0.1"), kOrders / 2);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "REFUSED 127.0.0.2"), kOrders / 2);
  EXPECT_TRUE(WaitUntil([&] { return tree_->Runs("shutdown.sh").size() == kOrders / 2; }, 5000));
}

}  // namespace
