#include "wksrv/poll_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "common/clock.h"

namespace {

// Answers the scripted statuses in turn ("-": no answer), then the last one
// again; each poll may be made to take a while.
class TScriptedUps : public TUpsLink {
 public:
  explicit TScriptedUps(std::vector<std::string> statuses) : statuses_(std::move(statuses)) {}
  TUpsReading Poll(bool list_all) override {
    {
      std::lock_guard<std::mutex> l(lists_lock_);
      lists_.push_back(list_all);
      times_.push_back(NowMs());
    }
    const size_t n = polls_++;
    if (poll_ms_ > 0) SleepMs(poll_ms_);
    const std::string& status = statuses_[std::min(n, statuses_.size() - 1)];
    TUpsReading reading;
    if (status == "-") {
      reading.error = "Connection failure: Connection refused";
    } else {
      reading.reachable = true;
      reading.vars["ups.status"] = status;
    }
    return reading;
  }
  bool SetVariable(const std::string&, const std::string&, std::string*) override { return false; }
  bool InstantCommand(const std::string&, std::string*) override { return false; }

  std::vector<bool> Lists() {
    std::lock_guard<std::mutex> l(lists_lock_);
    return lists_;
  }
  std::vector<int64_t> Times() {
    std::lock_guard<std::mutex> l(lists_lock_);
    return times_;
  }

  std::atomic<size_t> polls_{0};  // polls begun
  std::atomic<int> poll_ms_{0};

 private:
  std::vector<std::string> statuses_;
  std::mutex lists_lock_;
  std::vector<bool> lists_;     // list_all of each poll
  std::vector<int64_t> times_;  // when each poll began
};

struct TSeen {
  std::mutex lock;
  std::vector<int> raised;
  std::vector<bool> offered;  // reachable of each offered reading
  std::vector<std::string> logged;
};

TPollHooks HooksInto(TSeen* seen) {
  TPollHooks hooks;
  hooks.raise = [seen](uint8_t code) {
    std::lock_guard<std::mutex> l(seen->lock);
    seen->raised.push_back(code);
  };
  hooks.offer = [seen](const TUpsReading& reading, time_t now) {
    std::lock_guard<std::mutex> l(seen->lock);
    EXPECT_GT(now, 0);
    seen->offered.push_back(reading.reachable);
  };
  hooks.log = [seen](const std::string& text) {
    std::lock_guard<std::mutex> l(seen->lock);
    seen->logged.push_back(text);
  };
  return hooks;
}

TShutdownPolicy NoShutdown() {
  TShutdownPolicy policy;
  policy.enabled = false;
  return policy;
}

bool WaitForPolls(const TScriptedUps& ups, size_t count) {
  const int64_t deadline = NowMs() + 5000;
  while (ups.polls_ < count) {
    if (NowMs() > deadline) return false;
    SleepMs(2);
  }
  return true;
}

// Runs the loop on a thread of its own until `ups` has begun `count` polls,
// then stops it and waits for it to end.
void RunForPolls(TPollLoop* loop, const TScriptedUps& ups, size_t count) {
  std::thread runner([loop] { loop->Run(); });
  const bool polled = WaitForPolls(ups, count);
  loop->Stop();
  const bool finished = loop->WaitFinished(2000);
  runner.join();
  ASSERT_TRUE(polled);
  ASSERT_TRUE(finished);
}

TEST(PollLoop, RaisesOffersAndLogsEveryPollInTurn) {
  TScriptedUps ups({"-", "OL", "OB", "-", "-", "-", "OL"});
  TSeen seen;
  TPollLoop loop(&ups, NoShutdown(), 5, 60000, HooksInto(&seen));
  ASSERT_NO_FATAL_FAILURE(RunForPolls(&loop, ups, 9));
  const size_t polls = ups.polls_;
  std::lock_guard<std::mutex> l(seen.lock);
  EXPECT_EQ(seen.raised, (std::vector<int>{0, 4, 2, 5, 1}));
  // The poll under way at the stop may have been dropped.
  EXPECT_GE(seen.offered.size(), polls - 1);
  EXPECT_LE(seen.offered.size(), polls);
  EXPECT_EQ(std::vector<bool>(seen.offered.begin(), seen.offered.begin() + 7),
            (std::vector<bool>{false, true, true, false, false, false, true}));
  // Every variable until a poll answered, then the status alone.
  const std::vector<bool> lists = ups.Lists();
  EXPECT_EQ(std::vector<bool>(lists.begin(), lists.begin() + 4),
            (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(seen.logged,
            (std::vector<std::string>{
                "UPS not reachable: Connection failure: Connection refused", "UPS answers again",
                "UPS not reachable: Connection failure: Connection refused", "UPS answers again"}));
}

TEST(PollLoop, KeepsItsIntervalAndStopsAtOnceEvenDuringASlowPoll) {
  TScriptedUps ups({"OB"});
  TSeen seen;
  TPollLoop loop(&ups, NoShutdown(), 100, 60000, HooksInto(&seen));
  const int64_t start = NowMs();
  std::thread runner([&] { loop.Run(); });
  ASSERT_TRUE(WaitForPolls(ups, 3));
  EXPECT_GE(NowMs() - start, 200) << "three polls take at least two intervals";
  ups.poll_ms_ = 1000;
  const size_t before = ups.polls_;
  ASSERT_TRUE(WaitForPolls(ups, before + 1));  // a slow poll is under way
  const int64_t stop_at = NowMs();
  loop.Stop();
  EXPECT_LT(NowMs() - stop_at, 500) << "Stop waits for no poll";
  std::vector<bool> offered_at_stop;
  {
    std::lock_guard<std::mutex> l(seen.lock);
    offered_at_stop = seen.offered;
  }
  ASSERT_TRUE(loop.WaitFinished(2000));
  runner.join();
  std::lock_guard<std::mutex> l(seen.lock);
  EXPECT_EQ(seen.offered, offered_at_stop) << "nothing handed on after Stop";
  EXPECT_EQ(seen.raised, std::vector<int>{0});
}

TEST(PollLoop, ListsEveryVariableAgainOnceItsPeriodHasPassed) {
  TScriptedUps ups({"OL"});
  TSeen seen;
  TPollLoop loop(&ups, NoShutdown(), 10, 45, HooksInto(&seen));
  ASSERT_NO_FATAL_FAILURE(RunForPolls(&loop, ups, 12));
  const std::vector<bool> lists = ups.Lists();
  const std::vector<int64_t> times = ups.Times();
  ASSERT_EQ(lists.size(), times.size());
  EXPECT_GE(std::count(lists.begin(), lists.end(), true), 2);
  ASSERT_TRUE(lists[0]) << "the first poll lists";
  // Judged by when the polls really came, so a slow machine's late wake-ups
  // change which poll lists, not the rule; the loop reads its own clock a
  // moment apart from ours, hence the margin where either way is right.
  constexpr int64_t kMargin = 3;
  int64_t listed = times[0];
  for (size_t i = 1; i < lists.size(); ++i) {
    const int64_t since = times[i] - listed;
    if (since >= 45 + kMargin) {
      EXPECT_TRUE(lists[i]) << "poll " << i << ", " << since << " ms";
    } else if (since < 45 - kMargin) {
      EXPECT_FALSE(lists[i]) << "poll " << i << ", " << since << " ms";
    }
    if (lists[i]) listed = times[i];
  }
}

TEST(PollLoop, ListsAsOftenAsTheDataRecorderWritesAndAtLeastEveryThirtySeconds) {
  struct {
    bool enabled;
    uint16_t rate;
    int every_ms;
  } const cases[] = {{false, 1, 30000}, {true, 1, 1000}, {true, 7, 7000}, {true, 300, 30000}};
  for (const auto& c : cases) {
    TLogDataSetup data;
    data.DataEnabled = c.enabled;
    data.DataRate = c.rate;
    EXPECT_EQ(ListEveryMs(data), c.every_ms) << c.enabled << " " << c.rate;
  }
}

}  // namespace
