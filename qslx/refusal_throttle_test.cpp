#include "qslx/refusal_throttle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Step {
  const char* address;
  int64_t now;
  int repeat;             // the same refusal this many times
  int64_t ended_surplus;  // of the first of them
  int logged;             // how many of them get their own line
};

TEST(RefusalThrottle, TwentyLinesPerAddressAndMinuteThenOneCount) {
  const struct {
    const char* name;
    std::vector<Step> steps;
  } kCases[] = {
      {"twenty logged", {{"a", 0, 20, 0, 20}}},
      {"past twenty counted", {{"a", 0, 25, 0, 20}, {"a", 59, 1, 0, 0}}},
      {"next minute reports the surplus",
       {{"a", 0, 23, 0, 20}, {"a", 60, 1, 3, 1}, {"a", 61, 19, 0, 19}, {"a", 62, 1, 0, 0}}},
      {"minute starts at the first refusal",
       {{"a", 30, 20, 0, 20}, {"a", 89, 1, 0, 0}, {"a", 90, 1, 1, 1}}},
      {"no surplus, nothing to report", {{"a", 0, 5, 0, 5}, {"a", 100, 1, 0, 1}}},
      {"addresses apart",
       {{"a", 0, 21, 0, 20}, {"b", 1, 20, 0, 20}, {"b", 2, 1, 0, 0}, {"a", 61, 1, 1, 1}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TQsRefusalThrottle throttle;
    for (const Step& step : c.steps) {
      int logged = 0;
      for (int i = 0; i < step.repeat; ++i) {
        TQsRefusalDecision d = throttle.Refuse(step.address, step.now);
        EXPECT_EQ(d.ended_surplus, i == 0 ? step.ended_surplus : 0) << step.address << step.now;
        logged += d.log_line ? 1 : 0;
      }
      EXPECT_EQ(logged, step.logged) << step.address << " at " << step.now;
    }
  }
}

TEST(RefusalThrottle, DueSumsUpEndedMinutesOnce) {
  TQsRefusalThrottle throttle;
  for (int i = 0; i < 30; ++i) throttle.Refuse("b", 10);
  for (int i = 0; i < 22; ++i) throttle.Refuse("a", 20);
  throttle.Refuse("c", 20);
  EXPECT_TRUE(throttle.Due(69).empty());
  std::vector<TQsRefusalSummary> due = throttle.Due(70);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].address, "b");
  EXPECT_EQ(due[0].count, 10);
  due = throttle.Due(80);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].address, "a");
  EXPECT_EQ(due[0].count, 2);
  EXPECT_TRUE(throttle.Due(1000).empty()) << "each minute is summed up once";
  // Forgotten: a new minute logs line by line again.
  EXPECT_TRUE(throttle.Refuse("b", 1000).log_line);
  for (int i = 0; i < 20; ++i) throttle.Refuse("b", 1001);
  due = throttle.Due(1001, true);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].count, 1);
}

class Sink : public TQsEventSink {
 public:
  void WriteEvent(const std::string& key, const TTextList& params) override {
    std::string entry = key;
    for (const std::string& p : params) entry += "|" + p;
    lines.push_back(entry);
  }
  void WriteLine(const std::string& text) override { lines.push_back("line|" + text); }
  std::vector<std::string> lines;
};

// Without a language file the summary takes the English stand-in; other
// events pass untouched however many there are.
TEST(ThrottledEvents, ThrottlesOnlyRefusals) {
  Sink sink;
  int64_t now = 100;
  TQsThrottledEvents events(&sink, [&] { return now; });
  for (int i = 0; i < 25; ++i) events.WriteEvent("LogNotExecuted", {"127.0.0.9"});
  for (int i = 0; i < 25; ++i) events.WriteEvent("LogShutdown", {"master"});
  events.WriteLine("/s/custom2.sh");
  EXPECT_EQ(sink.lines.size(), 20u + 25u + 1u);
  events.FlushEnded();
  EXPECT_EQ(sink.lines.size(), 46u) << "the minute still runs";
  now = 160;
  events.FlushEnded();
  ASSERT_EQ(sink.lines.size(), 47u);
  EXPECT_EQ(sink.lines.back(), "line|Orders refused from 127.0.0.9: 5 more within one minute");
  for (int i = 0; i < 22; ++i) events.WriteEvent("LogNotExecuted", {"127.0.0.9"});
  events.FlushAll();
  EXPECT_EQ(sink.lines.back(), "line|Orders refused from 127.0.0.9: 2 more within one minute");
}

}  // namespace
