#include "common/log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "common/files.h"
#include "tests/support/temp_dir.h"

namespace {

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
  }
  std::string Contents() const { return ReadFile(path_); }
  void Write(const std::string& text) { ASSERT_TRUE(WriteFile(path_, text)); }
  TTempDir temp_{"log_test"};
  std::string dir_ = temp_.path();
  std::string path_ = dir_ + "/qs_log.txt";
};

// 07/12/2026 14:05:09 UTC.
const time_t kWhen = 1796652309;

}  // namespace

TEST_F(LogFile, DateAndTimeUseTheSuiteFormats) {
  EXPECT_EQ(DateText(kWhen), "07/12/2026");
  EXPECT_EQ(TimeText(kWhen), "14:05:09");
  EXPECT_EQ(DateText(kWhen - 14 * 3600), "07/12/2026");
  EXPECT_EQ(TimeText(kWhen - 14 * 3600), "00:05:09");
}

TEST_F(LogFile, MissingFileCreatedWithHeaderFirst) {
  ASSERT_TRUE(AppendLogLineAt(path_, "Voltmon log", ";", "first", 1000, false, kWhen));
  ASSERT_TRUE(AppendLogLineAt(path_, "Voltmon log", ";", "second", 1000, true, kWhen));
  EXPECT_EQ(Contents(),
            "Voltmon log\n"
            "07/12/2026 14:05:09  first\n"
            "07/12/2026;14:05:09;second\n");
}

TEST_F(LogFile, EmptyHeaderWritesNoHeaderLine) {
  ASSERT_TRUE(AppendLogLineAt(path_, "", ";", "only", 1000, false, kWhen));
  EXPECT_EQ(Contents(), "07/12/2026 14:05:09  only\n");
}

TEST_F(LogFile, EmptyFileRestartsWithHeaderOneByteFileAppends) {
  Write("");
  ASSERT_TRUE(AppendLogLineAt(path_, "H", ";", "m", 1000, false, kWhen));
  EXPECT_EQ(Contents(), "H\n07/12/2026 14:05:09  m\n");
  Write("x");
  ASSERT_TRUE(AppendLogLineAt(path_, "H", ";", "m", 1000, false, kWhen));
  EXPECT_EQ(Contents(), "x07/12/2026 14:05:09  m\n");
}

TEST_F(LogFile, SizeLimitRestartsTheLog) {
  Write(std::string(99, 'a'));
  ASSERT_TRUE(AppendLogLineAt(path_, "H", ";", "below", 100, false, kWhen));
  EXPECT_EQ(Contents(), std::string(99, 'a') + "07/12/2026 14:05:09  below\n");
  Write(std::string(100, 'a'));
  ASSERT_TRUE(AppendLogLineAt(path_, "H", ";", "restart", 100, false, kWhen));
  EXPECT_EQ(Contents(), "H\n07/12/2026 14:05:09  restart\n");
  ASSERT_TRUE(AppendLogLineAt(path_, "H", ";", "next", 100, false, kWhen));
  EXPECT_EQ(Contents(), "H\n07/12/2026 14:05:09  restart\n07/12/2026 14:05:09  next\n");
}

TEST_F(LogFile, CurrentTimeStampsTheLine) {
  TSharedLog log;
  ASSERT_TRUE(log.Append(path_, "", "|", "now", 1000, true));
  EXPECT_TRUE(std::regex_match(Contents(), std::regex(R"(\d\d/\d\d/\d{4}\|\d\d:\d\d:\d\d\|now\n)")))
      << Contents();
}

TEST_F(LogFile, SizeOfMissingFileIsZeroAndOfDirectoryMinusOne) {
  EXPECT_EQ(GetFileSize(path_), 0);
  EXPECT_EQ(GetFileSize(path_ + "/below/a/file"), 0);
  Write("12345");
  EXPECT_EQ(GetFileSize(path_), 5);
  EXPECT_EQ(GetFileSize(dir_), -1);
  std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(GetFileSize(fifo), -1);
  EXPECT_FALSE(AppendLogLineAt(fifo, "H", ";", "m", 100, false, kWhen));
}

TEST_F(LogFile, UnreadableLogIsNotWritten) {
  ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);
  EXPECT_FALSE(AppendLogLineAt(path_, "H", ";", "m", 1, false, kWhen));
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(LogFile, ModeZeroLogIsUntouchedForAnOrdinaryUser) {
  if (getuid() != 0) GTEST_SKIP() << "needs root, to become an ordinary user";
  Write("old");
  ASSERT_EQ(chmod(path_.c_str(), 0), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setuid(65534) != 0) _exit(2);
    bool sized = GetFileSize(path_) == -1;
    bool refused = !AppendLogLineAt(path_, "H", ";", "m", 1, false, kWhen);
    _exit(sized && refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Contents(), "old");
}

TEST_F(LogFile, MissingDirectoryFails) {
  EXPECT_FALSE(AppendLogLineAt(dir_ + "/missing/log.txt", "H", ";", "m", 100, false, kWhen));
}

// A link at the log's place, whatever its target's size, is never written
// through: below the limit the line is lost, at the limit the link itself is
// replaced by a fresh file; a dangling link creates nothing.
TEST_F(LogFile, LinkAtTheLogsPlaceIsNeverFollowed) {
  const struct {
    const char* name;
    std::string target_contents;  // empty: the target does not exist
    bool written;
  } kCases[] = {
      {"small target", "keep", false},
      {"target at the limit", std::string(100, 't'), true},
      {"dangling", "", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string target = dir_ + "/target";
    unlink(target.c_str());
    unlink(path_.c_str());
    if (!c.target_contents.empty()) std::ofstream(target, std::ios::binary) << c.target_contents;
    ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);

    EXPECT_EQ(AppendLogLineAt(path_, "", ";", "line", 100, false, kWhen), c.written);
    struct stat st;
    if (c.target_contents.empty()) {
      EXPECT_NE(lstat(target.c_str(), &st), 0) << "no file created through the link";
    } else {
      std::ifstream in(target, std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      EXPECT_EQ(ss.str(), c.target_contents);
    }
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_EQ(S_ISREG(st.st_mode), c.written);
    if (c.written) {
      EXPECT_EQ(Contents(), "07/12/2026 14:05:09  line\n");
    }
  }
}

// Runs `writers` threads that each append `count` lines "w<writer> <n>" to
// `path` through one shared log; true when every Append said written.
bool AppendConcurrently(TSharedLog* log, const std::function<std::string(int)>& path_of,
                        int writers, int count, int64_t max_size, std::vector<int>* failed) {
  failed->assign(static_cast<size_t>(writers), 0);
  std::vector<std::thread> threads;
  for (int w = 0; w < writers; ++w) {
    threads.emplace_back([&, w] {
      for (int n = 0; n < count; ++n) {
        const std::string text = "w" + std::to_string(w) + " " + std::to_string(n);
        if (!log->Append(path_of(w), "H", "", text, max_size, false)) ++(*failed)[w];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  return std::all_of(failed->begin(), failed->end(), [](int f) { return f == 0; });
}

// Lines of one writer after another's, in batches or not: each once, whole,
// in its writer's order, the header only where the file starts; at a small
// limit the file restarts between lines and never grows past one line beyond.
TEST_F(LogFile, SharedLogKeepsEveryLineWholeAndInOrder) {
  const struct {
    int64_t max_size;
    bool all_kept;
  } kCases[] = {{1000000, true}, {300, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.max_size);
    unlink(path_.c_str());
    TSharedLog log;
    std::vector<int> failed;
    ASSERT_TRUE(AppendConcurrently(
        &log, [&](int) { return path_; }, 8, 200, c.max_size, &failed));
    const std::string text = Contents();
    ASSERT_EQ(text.compare(0, 2, "H\n"), 0) << text.substr(0, 40);
    if (!c.all_kept) {
      EXPECT_LT(text.size(), static_cast<size_t>(c.max_size + 40));
    }
    std::vector<int> next(8, -1);
    size_t count = 0;
    std::istringstream in(text.substr(2));
    for (std::string line; std::getline(in, line); ++count) {
      int w = -1, n = -1;
      ASSERT_EQ(sscanf(line.c_str(), "%*s %*s  w%d %d", &w, &n), 2) << line;
      ASSERT_TRUE(w >= 0 && w < 8) << line;
      EXPECT_GT(n, next[w]) << "out of order: " << line;
      if (c.all_kept) {
        EXPECT_EQ(n, next[w] + 1) << "missing before: " << line;
      }
      next[w] = n;
    }
    if (c.all_kept) {
      EXPECT_EQ(count, 8u * 200u);
    }
  }
}

// A line lost in a batch is reported to its own writer and to no other, even
// when another writer's lines to another file went out in the same batch.
TEST_F(LogFile, SharedLogReportsALostLineToItsOwnWriter) {
  ASSERT_EQ(mkdir((dir_ + "/not-a-file").c_str(), 0755), 0);
  TSharedLog log;
  std::vector<int> failed;
  EXPECT_FALSE(AppendConcurrently(
      &log, [&](int w) { return w % 2 ? dir_ + "/not-a-file" : path_; }, 4, 100, 1000000, &failed));
  EXPECT_EQ(failed, (std::vector<int>{0, 100, 0, 100}));
  const std::string text = Contents();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 2 * 100);
}
