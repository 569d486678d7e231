#include "qscfg/flow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "qscfg/test_probes.h"
#include "qslx/setup.h"
#include "tests/support/test_tree.h"

namespace {

class QsFlowTest : public ::testing::Test {
 protected:
  QsFlowTest() { tree.Write("languages/english.lng", "[QSCFG]\nRestart=restart\n"); }
  bool Load(const std::string& config) {
    tree.Write("bin/qslx.cfg", config);
    return LoadQsEditor(tree.Path("bin/"), &editor);
  }
  TestTree tree;
  TQsEditor editor;
};

TEST(QsFlow, MenuEntriesLeadToTheirScreens) {
  const TextList entries = QsMenuEntries();
  ASSERT_EQ(8u, entries.size());
  EXPECT_EQ("", entries[5]);
  EXPECT_EQ(TQsMenuAction::kMasters, QsMenuAction(2));
  EXPECT_EQ(TQsMenuAction::kNone, QsMenuAction(6));
  EXPECT_EQ(TQsMenuAction::kSaveAndExit, QsMenuAction(7));
  EXPECT_EQ(TQsMenuAction::kExit, QsMenuAction(8));
  for (int bad : {0, 9, -1}) EXPECT_EQ(TQsMenuAction::kNone, QsMenuAction(bad));
}

TEST_F(QsFlowTest, LoadNeedsTheSuiteSettingsAndLanguage) {
  EXPECT_TRUE(Load("[QS System]\nListenPort=6009\n"));
  EXPECT_EQ(6009, QsNumber(editor.Config, "ListenPort"));
  EXPECT_TRUE(Load(""));
  tree.Write("bin/voltmon.cfg", "[Globals]\nInstallPath=" + tree.root() + "\nLanguageFile=x.lng\n");
  EXPECT_FALSE(Load(""));
}

TEST_F(QsFlowTest, SaveKeepsModeAndUnknownKeysAndReadsBackInTheDaemon) {
  ASSERT_TRUE(Load("[QS System]\nCustomKey=1\nAdrCount=1\nAdr0=\n[Else]\na=b\n"));
  ASSERT_EQ(0, chmod(tree.Path("bin/qslx.cfg").c_str(), 0640));
  editor.Config.Masters = {"10.0.0.7"};
  editor.Config.Numbers["ListenPort"] = 6123;
  editor.Config.Scripts["ScriptShutdown"] = "/s";
  editor.Config.Scripts["ScriptMessage"] = "/m";
  ASSERT_EQ(0, SaveQsEditor(&editor));
  struct stat st;
  ASSERT_EQ(0, stat(tree.Path("bin/qslx.cfg").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  const std::string saved = tree.Read("bin/qslx.cfg");
  EXPECT_NE(std::string::npos, saved.find("CustomKey=1\n"));
  EXPECT_NE(std::string::npos, saved.find("[Else]\na=b\n"));
  TQsSetupData setup;
  ASSERT_TRUE(LoadQsSetup(tree.Path("bin/"), &setup));
  EXPECT_EQ((TextList{"10.0.0.7"}), setup.Addresses);
  EXPECT_EQ(6123, setup.ListenPort);
}

TEST_F(QsFlowTest, FailedSaveGivesTheErrorAndLeavesTheFile) {
  ASSERT_TRUE(Load("[QS System]\nListenPort=1\n"));
  editor.Path = tree.Path("missing/qslx.cfg");
  EXPECT_EQ(ENOENT, SaveQsEditor(&editor));
  EXPECT_EQ("[QS System]\nListenPort=1\n", tree.Read("bin/qslx.cfg"));
}

TEST_F(QsFlowTest, CheckExitsByTheFindings) {
  const struct {
    std::string config;
    int status;
  } cases[] = {
      {"[QS System]\nAdrCount=1\nAdr0=10.0.0.1\nListenPort=6005\nScriptShutdown=/s\n"
       "ScriptMessage=/m\n",
       0},
      {"[QS System]\nAdrCount=1\nAdr0=10.0.0.1\nListenPort=0\nScriptShutdown=/s\n"
       "ScriptMessage=/m\n",
       1},
      {"", 1},
  };
  for (const auto& c : cases) {
    tree.Write("bin/qslx.cfg", c.config);
    EXPECT_EQ(c.status, CheckQsFile(tree.Path("bin/qslx.cfg"), FakeProbes())) << c.config;
  }
  EXPECT_EQ(1, CheckQsFile(tree.Path("bin/none.cfg"), FakeProbes()));
}

}  // namespace
