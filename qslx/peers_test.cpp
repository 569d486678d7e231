#include "qslx/peers.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "common/clock.h"
#include "gtest/gtest.h"

namespace {

TEST(AllowedPeers, DecisionByTheKnownAddresses) {
  struct Case {
    TTextList known;
    std::string peer;
    int expected;
  } cases[] = {
      {{"10.0.0.1", "127.0.0.1"}, "127.0.0.1", 1},
      {{"", "127.0.0.1"}, "127.0.0.1", 1},           // a name without address yet
      {{"127.0.0.1", "127.0.0.1"}, "127.0.0.1", 0},  // the first match names the master
      {{"10.0.0.1"}, "10.0.0.10", -1},               // whole addresses only
      {{"", ""}, "", -1},                            // an empty peer matches nothing
      {{"fe80::a"}, "FE80::A", 0},                   // letter case ignored
      {{}, "127.0.0.1", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.peer);
    EXPECT_EQ(c.expected, AllowedIndex(c.known, c.peer));
  }
}

// A name service whose answers the test sets, and that can be made silent.
struct TFakeNames {
  std::mutex mutex;
  std::condition_variable cv;
  std::map<std::string, std::string> answers;
  bool silent = false;
  std::atomic<int> asked{0};

  void Set(const std::string& name, const std::string& address, bool quiet = false) {
    std::lock_guard<std::mutex> lock(mutex);
    answers[name] = address;
    silent = quiet;
    cv.notify_all();
  }
};

TBlockingResolver Resolver(const std::shared_ptr<TFakeNames>& names) {
  return [names](const std::string& host) {
    ++names->asked;
    std::unique_lock<std::mutex> lock(names->mutex);
    names->cv.wait(lock, [&] { return !names->silent; });
    return names->answers[host];
  };
}

struct TLines : TQsEventSink {
  void WriteEvent(const std::string& key, const TTextList&) override { WriteLine(key); }
  void WriteLine(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(text);
  }
  bool WaitFor(const std::string& text) {
    const int64_t deadline = NowMs() + 5000;
    while (NowMs() < deadline) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& line : lines)
          if (line == text) return true;
      }
      SleepMs(5);
    }
    return false;
  }
  std::mutex mutex;
  TTextList lines;
};

bool WaitForEntries(const TQsAllowedPeers& peers, const TTextList& expected) {
  const int64_t deadline = NowMs() + 5000;
  while (peers.Entries() != expected && NowMs() < deadline) SleepMs(5);
  return peers.Entries() == expected;
}

class NameRefresherTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (refresher) refresher->Stop();
    names->Set("", "");  // lets every abandoned lookup end
  }
  // Starts looking the names up: each within 300 ms, a round every
  // `interval_ms`.
  void Start(int interval_ms = 100) {
    refresher = std::make_unique<TQsNameRefresher>(&peers, &log, Resolver(names),
                                                   TQsNameTimes{300, interval_ms, 10});
    ASSERT_TRUE(refresher->Start());
  }
  std::function<void()> Ask() {
    return [this] { refresher->AskAgain(); };
  }
  std::shared_ptr<TFakeNames> names = std::make_shared<TFakeNames>();
  TQsAllowedPeers peers;
  TLines log;
  std::unique_ptr<TQsNameRefresher> refresher;
};

TEST_F(NameRefresherTest, NumbersAreKnownAtOnceNamesKeepTheirLastGoodAddress) {
  names->Set("master.lan", "10.0.0.8");
  peers.Configure({"master.lan", "LocalHost", "10.0.0.2", "gone.lan"});
  EXPECT_EQ((TTextList{"", "127.0.0.1", "10.0.0.2", ""}), peers.Entries());
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_TRUE(WaitForEntries(peers, {"10.0.0.8", "127.0.0.1", "10.0.0.2", ""}));
  EXPECT_TRUE(
      log.WaitFor("Master server gone.lan does not resolve; its orders are refused until "
                  "it does"));

  names->Set("master.lan", "");
  EXPECT_TRUE(
      log.WaitFor("Master server master.lan no longer resolves; its last address "
                  "10.0.0.8 is kept"));
  EXPECT_EQ(0, peers.IndexOf("10.0.0.8"));

  names->Set("master.lan", "10.0.0.9");
  EXPECT_TRUE(log.WaitFor("Master server master.lan resolves to 10.0.0.9"));
  EXPECT_EQ(0, peers.IndexOf("10.0.0.9"));
  EXPECT_EQ(-1, peers.IndexOf("10.0.0.8"));
}

TEST_F(NameRefresherTest, SilentNameServiceHoldsNoCallerLongAndNoStop) {
  names->Set("master.lan", "10.0.0.8", true);
  peers.Configure({"master.lan", "10.0.0.2"});
  ASSERT_NO_FATAL_FAILURE(Start());
  auto ask = Ask();

  // "At once" is well short of the 1000 ms wait, with room for a loaded
  // machine.
  int64_t start = NowMs();
  EXPECT_EQ(1, peers.IndexOfWaiting("10.0.0.2", 1000, ask));
  EXPECT_LT(NowMs() - start, 500);

  start = NowMs();
  EXPECT_EQ(-1, peers.IndexOfWaiting("10.0.0.8", 1000, ask));
  EXPECT_LT(NowMs() - start, 1500);

  start = NowMs();
  refresher->Stop();
  EXPECT_LT(NowMs() - start, 800);
  start = NowMs();
  EXPECT_EQ(-1, peers.IndexOfWaiting("10.0.0.8", 1000, ask));
  EXPECT_LT(NowMs() - start, 500);
}

TEST_F(NameRefresherTest, CallerMatchingNoKnownAddressHasTheNamesLookedUpAgain) {
  peers.Configure({"master.lan"});
  ASSERT_NO_FATAL_FAILURE(Start(600000));
  ASSERT_TRUE(
      log.WaitFor("Master server master.lan does not resolve; its orders are refused "
                  "until it does"));
  // The address changes between two rounds of the long interval.
  names->Set("master.lan", "10.0.0.7");
  EXPECT_EQ(0, peers.IndexOfWaiting("10.0.0.7", 1000, Ask()));
}

}  // namespace
