#include "common/log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <mutex>
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
  std::mutex lock;
  ASSERT_TRUE(AppendLogLineLocked(path_, "", "|", "now", 1000, true, &lock));
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

// The file is opened before the lock is taken: whatever happens to it while
// the writer waits for the lock, the line lands in the file then at the path,
// under the same rules, and never in one removed, replaced or behind a link.
TEST_F(LogFile, LineOpenedBeforeTheLockGoesToTheFileAtThePath) {
  const std::string other = dir_ + "/other";
  const struct {
    const char* name;
    std::function<void()> meanwhile;
    bool written;
    std::string contents;  // of the path after the line; "H" the header
  } kCases[] = {
      {"nothing", [] {}, true, "old\nL"},
      {"removed", [&] { unlink(path_.c_str()); }, true, "H\nL"},
      {"replaced by a rename",
       [&] {
         ASSERT_TRUE(WriteFile(other, "new\n"));
         ASSERT_EQ(rename(other.c_str(), path_.c_str()), 0);
       },
       true, "new\nL"},
      {"emptied", [&] { Write(""); }, true, "H\nL"},
      {"grown to the limit", [&] { Write(std::string(100, 'a')); }, true, "H\nL"},
      {"replaced by a link",
       [&] {
         ASSERT_TRUE(WriteFile(other, "keep"));
         unlink(path_.c_str());
         ASSERT_EQ(symlink(other.c_str(), path_.c_str()), 0);
       },
       false, "keep"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    unlink(path_.c_str());
    unlink(other.c_str());
    Write("old\n");
    std::mutex lock;
    std::unique_lock<std::mutex> held(lock);
    bool written = false;
    std::thread writer(
        [&] { written = AppendLogLineLocked(path_, "H", "", "line", 100, false, &lock); });
    // The writer has opened the file once it holds a descriptor to it.
    const auto opened = [&] {
      for (int fd = 3; fd < 1024; ++fd) {
        char target[4096];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = readlink(link.c_str(), target, sizeof target);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == path_) return true;
      }
      return false;
    };
    for (int i = 0; i < 500 && !opened(); ++i) usleep(10000);
    ASSERT_TRUE(opened());
    c.meanwhile();
    held.unlock();
    writer.join();
    EXPECT_EQ(written, c.written);
    std::string contents = Contents();
    // The time stamp varies: it is replaced by "L" with the message.
    const size_t stamp = contents.find("  line\n");
    if (stamp != std::string::npos) contents.replace(stamp - 19, 19 + 7, "L");
    EXPECT_EQ(contents, c.contents);
  }
}
