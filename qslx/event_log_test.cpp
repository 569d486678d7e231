#include "qslx/event_log.h"

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "common/lang.h"
#include "common/locale.h"
#include "common/log.h"
#include "gtest/gtest.h"
#include "tests/support/test_tree.h"

namespace {

class EventLogTest : public ::testing::Test {
 protected:
  EventLogTest() {
    tree.Write("languages/english.lng",
               "[QSSRV]\nLogStart=Daemon started$\nLogShutdown=Shutdown ordered by $\n"
               "LogAliveKo=Master $ failed after $ attempts\nLogOneMark=Master $ failed\n"
               "LogBreak=one^two $\nLogEmpty=\n");
    SetLanguageFilePath(tree.Path("languages/english.lng"));
    SetTextFormats();
  }
  std::string LogPath() const { return tree.Path("data/qs_log.txt"); }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  TTestTree tree;
};

const std::regex kStamped(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d  (.*))");

TEST_F(EventLogTest, TextsFillTheirMarksInOrder) {
  EXPECT_EQ("Daemon started", EventText("LogStart", {""}));
  EXPECT_EQ("Shutdown ordered by master-1", EventText("LogShutdown", {"master-1"}));
  EXPECT_EQ("Master 10.0.0.1 failed after 3 attempts", EventText("LogAliveKo", {"10.0.0.1", "3"}));
  EXPECT_EQ("Master 10.0.0.1 failed", EventText("LogOneMark", {"10.0.0.1", "3"}));
  EXPECT_EQ("one\rtwo x", EventText("LogBreak", {"x"}));
  EXPECT_EQ("", EventText("LogNoSuchKey", {"x"}));
}

TEST_F(EventLogTest, MissingLogIsCreatedWithOneStampedLine) {
  TQsEventLog log(LogPath(), true, 10000000);
  log.WriteEvent("LogShutdown", {"localhost"});
  log.WriteEvent("LogEmpty", {"ignored"});
  log.WriteLine("/usr/bin/custom2.sh");
  auto lines = Lines(tree.Read("data/qs_log.txt"));
  ASSERT_EQ(3u, lines.size());
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kStamped)) << lines[0];
  EXPECT_EQ("Shutdown ordered by localhost", m[1]);
  ASSERT_TRUE(std::regex_match(lines[1], m, kStamped)) << lines[1];
  EXPECT_EQ("", m[1]);
  ASSERT_TRUE(std::regex_match(lines[2], m, kStamped));
  EXPECT_EQ("/usr/bin/custom2.sh", m[1]);
}

TEST_F(EventLogTest, DisabledLogIsNeverTouched) {
  TQsEventLog log(LogPath(), false, 10000000);
  log.WriteEvent("LogStart", {""});
  log.WriteLine("x");
  EXPECT_FALSE(tree.Exists("data/qs_log.txt"));
}

TEST_F(EventLogTest, FullLogStartsAfreshWithTheNewLine) {
  tree.Write("data/qs_log.txt", std::string(100, 'a'));
  TQsEventLog log(LogPath(), true, 100);
  log.WriteEvent("LogStart", {""});
  auto lines = Lines(tree.Read("data/qs_log.txt"));
  ASSERT_EQ(1u, lines.size());
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kStamped));
  EXPECT_EQ("Daemon started", m[1]);

  tree.Write("data/qs_log.txt", std::string(99, 'a'));
  log.WriteLine("kept");
  // Stamp of 21 bytes, the text and the line feed.
  EXPECT_EQ(99u + 21 + 4 + 1, tree.Read("data/qs_log.txt").size());
}

TEST_F(EventLogTest, ConcurrentEventsNeverMixOrGetLost) {
  constexpr int kThreads = 8;
  constexpr int kEach = 100;
  TQsEventLog log(LogPath(), true, 10000000);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kEach; ++i)
        log.WriteLine("thread " + std::to_string(t) + " line " + std::to_string(i) +
                      std::string(200, '.'));
    });
  }
  for (auto& th : threads) th.join();
  auto lines = Lines(tree.Read("data/qs_log.txt"));
  EXPECT_EQ(static_cast<size_t>(kThreads * kEach), lines.size());
  const std::regex one(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d  thread \d line \d+\.{200})");
  for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, one)) << line;
}

TEST_F(EventLogTest, RestartsUnderLoadKeepEveryLineWhole) {
  constexpr int64_t kMax = 3000;
  TQsEventLog log(LogPath(), true, kMax);
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&log] {
      for (int i = 0; i < 150; ++i) log.WriteLine(std::string(90, 'x'));
    });
  }
  for (auto& th : threads) th.join();
  // Lines of 112 bytes: each file takes 27 of them (the 27th passes 3000),
  // so of 900 serialised lines the last file holds 900 mod 27 = 9.
  const std::string text = tree.Read("data/qs_log.txt");
  auto lines = Lines(text);
  EXPECT_EQ(9u, lines.size());
  EXPECT_EQ(9u * 112, text.size());
  const std::regex one(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d  x{90})");
  for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, one)) << line;
}

}  // namespace
