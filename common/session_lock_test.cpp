#include "common/session_lock.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace {

int EntryCount(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

class SessionLock : public ::testing::Test {
 protected:
  TTempDir temp_{"session_lock_test"};
  std::string config_ = temp_.Sub("wksrv.cfg");
};

// What a second session gets while the first holds "wksrv.cfg".
struct TSecondCase {
  const char* name;
  std::string second;  // the path the second session locks, below the dir
  TLockResult expected;
};

TEST_F(SessionLock, SecondSessionOnTheSameNameIsRefused) {
  ASSERT_TRUE(WriteFile(config_, "[Server]\n"));
  TSessionLock first;
  ASSERT_EQ(first.Acquire(config_), TLockResult::kHeld);
  const int entries = EntryCount(temp_.path());
  const TSecondCase cases[] = {
      {"same file", "wksrv.cfg", TLockResult::kBusy},
      {"same file by another path", "./wksrv.cfg", TLockResult::kBusy},
      {"another file beside it", "qslx.cfg", TLockResult::kHeld},
      {"a missing file beside it", "none.cfg", TLockResult::kHeld},
      {"a missing directory", "gone/wksrv.cfg", TLockResult::kUnlocked},
  };
  for (const TSecondCase& c : cases) {
    TSessionLock second;
    EXPECT_EQ(second.Acquire(temp_.Sub(c.second)), c.expected) << c.name;
  }
  EXPECT_EQ(EntryCount(temp_.path()), entries) << "no file made";
}

// A save writes a new file and renames it over the old one; the lock
// guards the name, not the replaced file.
TEST_F(SessionLock, OutlastsTheSavesRename) {
  ASSERT_TRUE(WriteFile(config_, "old\n"));
  TSessionLock first;
  ASSERT_EQ(first.Acquire(config_), TLockResult::kHeld);
  ASSERT_TRUE(WriteFile(temp_.Sub(".wksrv.cfg.new"), "new\n"));
  ASSERT_EQ(rename(temp_.Sub(".wksrv.cfg.new").c_str(), config_.c_str()), 0);
  TSessionLock second;
  EXPECT_EQ(second.Acquire(config_), TLockResult::kBusy);
  first.Release();
  EXPECT_EQ(second.Acquire(config_), TLockResult::kHeld);
}

// The lock ends with the session's process, even one killed outright.
TEST_F(SessionLock, EndsWithTheProcessThatHeldIt) {
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(10);  // never outlives a test that failed before killing it
    TSessionLock lock;
    const char held = lock.Acquire(config_) == TLockResult::kHeld ? 'y' : 'n';
    if (write(report[1], &held, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(report[1]);
  char held = 0;
  ASSERT_EQ(read(report[0], &held, 1), 1);
  close(report[0]);
  EXPECT_EQ(held, 'y');
  TSessionLock second;
  EXPECT_EQ(second.Acquire(config_), TLockResult::kBusy);
  ASSERT_EQ(kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(second.Acquire(config_), TLockResult::kHeld);
}

TEST(LockByteOf, StableDistinctAndPositive) {
  EXPECT_EQ(LockByteOf("wksrv.cfg"), LockByteOf("wksrv.cfg"));
  EXPECT_NE(LockByteOf("wksrv.cfg"), LockByteOf("qslx.cfg"));
  for (const char* name : {"", "wksrv.cfg", "qslx.cfg", "\xff\xfe"}) EXPECT_GE(LockByteOf(name), 0);
}

}  // namespace
