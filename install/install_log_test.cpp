#include "install/install_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/scramble.h"
#include "tests/support/temp_dir.h"

TEST(WriteInstallLog, RestartReplacesAndAppendAdds) {
  TTempDir dir("install_log_test");
  const std::string path = dir.Sub("install.log");
  EXPECT_TRUE(WriteInstallLog(path, "FILE:e:/first", false));
  EXPECT_TRUE(WriteInstallLog(path, "DIR:/usr/vantrel/voltmon/", true));
  EXPECT_TRUE(WriteInstallLog(path, "FILE:e:/usr/vantrel/voltmon/bin/qslx", false));
  TTextList lines;
  ASSERT_EQ(0, LoadScrambledLines(&lines, path));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("DIR:/usr/vantrel/voltmon/", lines[0]);
  EXPECT_EQ("FILE:e:/usr/vantrel/voltmon/bin/qslx", lines[1]);
}

TEST(WriteInstallLog, MissingDirectoryLosesTheEntry) {
  EXPECT_FALSE(WriteInstallLog("/nonexistent-dir-for-test/install.log", "DIR:/x/", true));
}
