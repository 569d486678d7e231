#include "install/install_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/scramble.h"

TEST(WriteInstallLog, RestartReplacesAndAppendAdds) {
  char dir[] = "/tmp/install_log_testXXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string path = std::string(dir) + "/install.log";
  EXPECT_TRUE(WriteInstallLog(path, "FILE:e:/first", false));
  EXPECT_TRUE(WriteInstallLog(path, "DIR:/usr/vantrel/voltmon/", true));
  EXPECT_TRUE(WriteInstallLog(path, "FILE:e:/usr/vantrel/voltmon/bin/qslx", false));
  TextList lines;
  ASSERT_EQ(0, LoadScrambledLines(&lines, path));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("DIR:/usr/vantrel/voltmon/", lines[0]);
  EXPECT_EQ("FILE:e:/usr/vantrel/voltmon/bin/qslx", lines[1]);
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(WriteInstallLog, MissingDirectoryLosesTheEntry) {
  EXPECT_FALSE(WriteInstallLog("/nonexistent-dir-for-test/install.log", "DIR:/x/", true));
}
