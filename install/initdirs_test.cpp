#include "install/initdirs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TPathTest Existing(std::set<std::string> paths) {
  return [paths](const std::string& path) { return paths.count(path) > 0; };
}

}  // namespace

TEST(FindInitDirectory, FirstExistingCandidateWithTrailingSlash) {
  EXPECT_EQ("/etc/init.d/", FindInitDirectory(Existing({"/etc/init.d", "/sbin/init.d"})));
  EXPECT_EQ("/etc/rc.d/init.d/",
            FindInitDirectory(Existing({"/sbin/rc.d/init.d", "/etc/rc.d/init.d"})));
  EXPECT_EQ("/sbin/rc.d/init.d/", FindInitDirectory(Existing({"/sbin/rc.d/init.d"})));
  EXPECT_EQ("", FindInitDirectory(Existing({"/etc/rc2.d", "/etc/init"})));
}

TEST(FindRunLevelBase, ProbeMapsToTheDirectoryHoldingTheRunLevels) {
  EXPECT_EQ("/etc/", FindRunLevelBase(Existing({"/etc/rc2.d", "/sbin/rc2.d"})));
  EXPECT_EQ("/etc/init.d/", FindRunLevelBase(Existing({"/etc/init.d/rc2.d"})));
  EXPECT_EQ("/etc/rc.d/", FindRunLevelBase(Existing({"/etc/rc.d/rc2.d", "/sbin/rc2.d"})));
  EXPECT_EQ("/sbin/init.d/", FindRunLevelBase(Existing({"/sbin/init.d/rc2.d"})));
  EXPECT_EQ("/sbin/", FindRunLevelBase(Existing({"/sbin/rc2.d"})));
}

TEST(FindRunLevelBase, OnlyRunLevelTwoIsProbed) {
  EXPECT_EQ("", FindRunLevelBase(Existing({"/etc/rc3.d", "/etc/rc5.d", "/etc/init.d"})));
}
