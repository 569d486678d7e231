#include "common/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>

#include "common/files.h"
#include "tests/support/temp_dir.h"

namespace {

// An installation tree: <root>/bin/voltmon.cfg and <root>/languages/.
class SuiteSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeDirs(root_ + "bin"));
    ASSERT_TRUE(WriteFile(root_ + "languages/english.lng", "[ERRORS]\n"));
  }
  void WriteCfg(const std::string& install_path, const std::string& language) {
    std::ofstream(root_ + "bin/voltmon.cfg")
        << "[Globals]\nProductVersion=1.0\nInstallPath=" << install_path
        << "\nLanguageFile=" << language << "\n";
  }
  TTempDir temp_{"settings_test"};
  std::string root_ = temp_.path() + "/";
};

}  // namespace

TEST_F(SuiteSettings, ResolvesInstallationAndLanguageFile) {
  WriteCfg(root_, "english.lng");
  EXPECT_EQ(GetInstallPath(root_ + "bin/"), root_);
  EXPECT_EQ(GetLanguageFile(root_), "english.lng");
  std::string install, language;
  ASSERT_TRUE(ResolveSuiteSettings(root_ + "bin/", &install, &language));
  EXPECT_EQ(install, root_);
  EXPECT_EQ(language, root_ + "languages/english.lng");
}

TEST_F(SuiteSettings, MissingFileOrKeyIsInvalidSetup) {
  std::string install = "x", language = "y";
  EXPECT_EQ(GetInstallPath(root_ + "bin/"), "");
  EXPECT_FALSE(ResolveSuiteSettings(root_ + "bin/", &install, &language));
  EXPECT_EQ(install, "");
  EXPECT_EQ(language, "");
  std::ofstream(root_ + "bin/voltmon.cfg") << "[Globals]\nInstallPath=" << root_ << "\n";
  EXPECT_EQ(GetLanguageFile(root_), "");
  EXPECT_FALSE(ResolveSuiteSettings(root_ + "bin/", &install, &language));
  EXPECT_EQ(install, root_);
}

TEST_F(SuiteSettings, LanguageFileMustExistBelowLanguages) {
  WriteCfg(root_, "deutsch.lng");
  EXPECT_EQ(GetLanguageFile(root_), "");
  std::ofstream(root_ + "bin/deutsch.lng") << "[ERRORS]\n";
  EXPECT_EQ(GetLanguageFile(root_), "");
  std::string install, language;
  EXPECT_FALSE(ResolveSuiteSettings(root_ + "bin/", &install, &language));
  WriteCfg(root_, "");
  EXPECT_EQ(GetLanguageFile(root_), "");
}

TEST_F(SuiteSettings, PathsAreConcatenatedWithoutSeparator) {
  std::string no_slash = root_.substr(0, root_.size() - 1);
  WriteCfg(no_slash, "english.lng");
  EXPECT_EQ(GetInstallPath(root_ + "bin/"), no_slash);
  // no_slash + "bin/voltmon.cfg" runs together and names nothing.
  EXPECT_EQ(GetLanguageFile(no_slash), "");
}

TEST(ProgramDirectory, IsTheDirectoryOfTheRunningBinary) {
  std::string dir = ProgramDirectory("ignored");
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(PathExists(dir + "common_test"));
}

TEST(PathExists, FilesAndDirectoriesCount) {
  EXPECT_TRUE(PathExists("/"));
  EXPECT_TRUE(PathExists("/proc/self/status"));
  EXPECT_FALSE(PathExists("/no/such/path"));
  EXPECT_FALSE(PathExists(""));
}
