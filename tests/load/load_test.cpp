// Load on the real daemon: many callers at once, allowed and refused, and
// greeted callers that never send their order. Nothing may be lost: every
// accepted order runs its script once and leaves one whole event line, every
// refused caller leaves its line.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/scramble.h"
#include "common/tcp.h"
#include "qslx/command_server.h"
#include "tests/load/daemon_harness.h"

namespace {

// Every line of the log is whole and one of `texts`.
void ExpectOnlyWholeLines(const std::vector<std::string>& lines,
                          const std::set<std::string>& texts) {
  for (const std::string& line : lines) {
    EXPECT_TRUE(IsLogLine(line)) << "torn or mixed line: " << line;
    if (line.size() > 21) {
      EXPECT_EQ(texts.count(line.substr(21)), 1u) << line;
    }
  }
}

TEST(Load, ThousandMixedConnectionsEachHandledExactlyOnce) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();

  constexpr int kConnections = 1000;
  constexpr int kCallers = 50;
  std::vector<TExchange> results(kConnections);
  std::atomic<int> next{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&] {
      for (int i = next++; i < kConnections; i = next++) {
        const bool refused = i % 2 == 1;
        results[i] =
            GiveOrder(MessageOrder("m" + std::to_string(i)), refused ? kRefused : "", 20000);
      }
    });
  }
  for (std::thread& caller : callers) caller.join();

  for (int i = 0; i < kConnections; ++i) {
    ASSERT_TRUE(results[i].connected) << i;
    EXPECT_EQ(results[i].greeting, i % 2 ? "<|KO|>" : "<|ok|>") << i;
    EXPECT_TRUE(results[i].closed) << i;
  }
  constexpr int kAccepted = kConnections / 2;
  // Refusals past twenty a minute from one address are only counted.
  constexpr int kRefusalsLogged = 20;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto lines = daemon.LogLines();
        return daemon.Records().size() >= kAccepted &&
               CountEvents(lines, MessageEvent(kAllowed)) >= kAccepted &&
               CountEvents(lines, RefusedEvent(kRefused)) >= kRefusalsLogged;
      },
      30000))
      << daemon.Records().size() << " scripts ran";

  const auto records = daemon.Records();
  const std::multiset<std::string> ran(records.begin(), records.end());
  EXPECT_EQ(ran.size(), static_cast<size_t>(kAccepted));
  for (int i = 0; i < kConnections; i += 2) {
    EXPECT_EQ(ran.count("1 \"m" + std::to_string(i) + "\""), 1u) << "order " << i;
  }
  const auto lines = daemon.LogLines();
  EXPECT_EQ(CountEvents(lines, MessageEvent(kAllowed)), kAccepted);
  EXPECT_EQ(CountEvents(lines, RefusedEvent(kRefused)), kRefusalsLogged);
  ExpectOnlyWholeLines(lines, {"START ", MessageEvent(kAllowed), RefusedEvent(kRefused)});

  EXPECT_TRUE(WaitUntil([&] { return daemon.ZombieChildren().empty(); }, 5000));
  EXPECT_TRUE(daemon.Running());
  EXPECT_TRUE(daemon.Stop());
  // The stop sums up the minute still running.
  const std::string more = "REFUSED MORE " + std::string(kRefused) + " " +
                           std::to_string(kConnections - kAccepted - kRefusalsLogged);
  EXPECT_EQ(CountEvents(daemon.LogLines(), more), 1) << more;
}

TEST(Load, SilentGreetedCallersNeitherDelayOrdersNorStayForever) {
  TDaemonUnderTest daemon;
  ASSERT_TRUE(daemon.Start()) << daemon.Output();

  constexpr int kSilent = 300;
  std::vector<TTcpConnection> silent(kSilent);
  for (int i = 0; i < kSilent; ++i) {
    int error = 0;
    ASSERT_TRUE(TcpConnect(kAllowed, kListenPort, 5000, &silent[i], &error)) << i;
    std::string greeting;
    ASSERT_EQ(silent[i].ReadLine(&greeting, 4096, 5000), TReadStatus::kLine) << i;
    ASSERT_EQ(Descramble(greeting), "<|ok|>");
  }
  const int64_t greeted = NowMs();

  constexpr int kOrders = 20;
  for (int i = 0; i < kOrders; ++i) {
    const int64_t start = NowMs();
    const TExchange order = GiveOrder(MessageOrder("real" + std::to_string(i)));
    EXPECT_EQ(order.greeting, "<|ok|>");
    EXPECT_TRUE(order.closed);
    // Waiting behind a silent caller would take its 30 s read time limit.
    EXPECT_LE(NowMs() - start, 1000 * kSlowdown)
        << "order " << i << " waited behind the silent callers";
  }
  EXPECT_TRUE(WaitUntil([&] { return daemon.Records().size() == kOrders; }, 5000));

  // Still well inside the read time limit: every silent caller is held.
  ASSERT_LT(NowMs() - greeted, kRequestReadTimeoutMs - 2000);
  std::string nothing;
  for (int i = 0; i < kSilent; ++i) {
    ASSERT_EQ(silent[i].ReadLine(&nothing, 4096, 0), TReadStatus::kTimeout) << i;
  }

  const int64_t deadline = greeted + kRequestReadTimeoutMs + 5000;
  for (int i = 0; i < kSilent; ++i) {
    const int left = static_cast<int>(std::max<int64_t>(0, deadline - NowMs()));
    const TReadStatus status = silent[i].ReadLine(&nothing, 4096, left);
    ASSERT_TRUE(status == TReadStatus::kClosed || status == TReadStatus::kError)
        << "silent caller " << i << " still held after the read time limit";
  }
  EXPECT_GE(NowMs() - greeted, kRequestReadTimeoutMs - 1000) << "dropped before the time limit";

  const auto lines = daemon.LogLines();
  EXPECT_EQ(CountEvents(lines, MessageEvent(kAllowed)), kOrders);
  for (const std::string& line : lines) EXPECT_TRUE(IsLogLine(line)) << line;
  const TExchange after = GiveOrder(MessageOrder("after"));
  EXPECT_EQ(after.greeting, "<|ok|>");
  EXPECT_TRUE(daemon.Stop());
}

TEST(Load, FiftyOrdersAtTheLogLimitRestartItWithWholeLines) {
  constexpr int kLimit = 3000;
  TDaemonUnderTest daemon({{"LogMaxSize", std::to_string(kLimit)}});
  ASSERT_TRUE(daemon.Start()) << daemon.Output();

  std::string old;
  while (old.size() + 40 < kLimit) old += "01/01/2000 00:00:00  OLD line of before\n";
  old += "01/01/2000 00:00:00  OLD" + std::string(kLimit - old.size() - 25, 'x') + "\n";
  ASSERT_EQ(old.size(), static_cast<size_t>(kLimit));
  ASSERT_TRUE(WriteFile(daemon.Path("data/qs_log.txt"), old));

  constexpr int kOrders = 50;
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> callers;
  std::vector<TExchange> results(kOrders);
  for (int i = 0; i < kOrders; ++i) {
    callers.emplace_back([&, i] {
      ++ready;
      while (!go) std::this_thread::yield();
      results[i] = GiveOrder(MessageOrder("at-limit" + std::to_string(i)));
    });
  }
  while (ready < kOrders) std::this_thread::yield();
  go = true;
  for (std::thread& caller : callers) caller.join();
  for (const TExchange& result : results) EXPECT_EQ(result.greeting, "<|ok|>");

  ASSERT_TRUE(WaitUntil(
      [&] { return CountEvents(daemon.LogLines(), MessageEvent(kAllowed)) == kOrders; }, 10000));
  const std::string log = ReadFile(daemon.Path("data/qs_log.txt"));
  EXPECT_EQ(log.find("OLD"), std::string::npos) << "the old file survived the restart";
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n');
  const auto lines = LinesOf(log);
  EXPECT_EQ(lines.size(), static_cast<size_t>(kOrders));
  ExpectOnlyWholeLines(lines, {MessageEvent(kAllowed)});
  EXPECT_TRUE(WaitUntil([&] { return daemon.Records().size() == kOrders; }, 5000));
}

}  // namespace
